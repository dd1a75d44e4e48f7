#pragma once

// The built-in worksheet functions of BIFF8 formulas: the number a
// function token stores, the name the formula bar shows, how many
// arguments it takes and the operand class of its result and of each
// argument. The table itself is data, in formulafunctions.cpp.

#include <QString>

namespace Excel {
namespace Biff {

struct FunctionInfo
{
    quint16 index;
    const char *name;
    quint8 minArgs;
    quint8 maxArgs;
    bool fixedArgs;       // stored as a function token without an argument count
    bool isVolatile;      // makes the formula recalculate on every change
    char resultClass;     // 'R' reference, 'V' value, 'A' array
    const char *argClasses; // one letter per argument; the last one repeats
    char argClass(int i) const;
};

// The function with this number, or null.
const FunctionInfo *functionByIndex(int index);
// The function with this name (any letter case), or null.
const FunctionInfo *functionByName(const QString &name);

// The number of the "user-defined function" token, whose first argument
// names the function (add-in functions and those newer than Excel 2003).
constexpr int UserDefinedFunction = 255;

} // namespace Biff
} // namespace Excel
