// A relationships part as the package reader reads it.
#include "xlsx/package/opcpackage.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Excel::Xlsx;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    RelationshipSet set;
    QString error;
    if (parseRelationships(bytes, QStringLiteral("/xl/workbook.xml"), QStringLiteral("/xl/_rels/workbook.xml.rels"),
                           &set, &error)) {
        for (const Relationship &r : set.items) {
            if (r.begin < 0 || r.end > bytes.size() || r.begin > r.end)
                __builtin_trap();
            relationshipIs(r.type, Conformance::Transitional, QStringLiteral("worksheet"));
        }
        set.firstOfKind(Conformance::Strict, QStringLiteral("sharedStrings"));
    }
    return 0;
}
