#include "PunchRequest.h"

QString punchKindText(PunchKind kind)
{
    switch (kind) {
    case PunchKind::ShiftStart:
        return QStringLiteral("上班");
    case PunchKind::ShiftEnd:
        return QStringLiteral("下班");
    case PunchKind::OvertimeStart:
        return QStringLiteral("加班上班");
    case PunchKind::OvertimeEnd:
        return QStringLiteral("加班下班");
    }
    return {};
}

std::optional<PunchKind> punchKindFromText(const QString& text)
{
    for (PunchKind kind : {PunchKind::ShiftStart, PunchKind::ShiftEnd, PunchKind::OvertimeStart, PunchKind::OvertimeEnd}) {
        if (punchKindText(kind) == text)
            return kind;
    }
    return std::nullopt;
}
