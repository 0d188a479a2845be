#include "pttport.h"

namespace pelorin {

int PttIndexFromText(const QString& stored)
{
    for (int index = kPttCom1; index <= kPttCom4; ++index) {
        const QString upper = PttTextFromIndex(index);
        if (stored == upper || stored == upper.toLower())
            return index;
    }
    return kPttNone;
}

QString PttTextFromIndex(int index)
{
    if (index >= kPttCom1 && index <= kPttCom4)
        return QStringLiteral("COM%1").arg(index + 1);
    return QStringLiteral("NONE");
}

} // namespace pelorin
