#pragma once

#include <QString>

// The status-bar text for a state code. Codes without a message of their own
// (0 and negative ones included) give the code followed by a puzzled remark,
// so an unexpected code is still visible to the user.
QString stateMessage(int stateCode);
