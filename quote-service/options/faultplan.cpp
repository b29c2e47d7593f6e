#include "options/faultplan.h"

#include <QStringList>

namespace {

struct KindName {
    const char* name;
    FaultKind kind;
};

constexpr KindName kKinds[] = {
    { "delay", FaultKind::Delay },
    { "stall", FaultKind::Stall },
    { "close", FaultKind::Close },
    { "error", FaultKind::Error },
    { "empty", FaultKind::Empty },
    { "huge", FaultKind::Huge },
};

void Apply(FaultPlan& plan, const FaultRule& rule)
{
    if (rule.kind == FaultKind::Delay) {
        plan.delayMs = rule.value;
        return;
    }
    plan.mode = rule.kind;
    plan.value = rule.value;
}

} // namespace

std::optional<FaultRule> ParseFault(const QString& text, QString* error)
{
    FaultRule rule;
    QString faultText = text.trimmed();
    const qsizetype at = faultText.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        rule.symbol = faultText.mid(at + 1).trimmed().toUpper();
        faultText = faultText.left(at);
        if (!rule.symbol.contains(QLatin1Char(':'))) {
            *error = QStringLiteral("fault symbol must read CC:SYMBOL: ") + text;
            return std::nullopt;
        }
    }
    const qsizetype eq = faultText.indexOf(QLatin1Char('='));
    const QString name = (eq >= 0 ? faultText.left(eq) : faultText).trimmed().toLower();
    for (const KindName& k : kKinds) {
        if (name == QLatin1String(k.name))
            rule.kind = k.kind;
    }
    if (rule.kind == FaultKind::None) {
        *error = QStringLiteral("unknown fault: ") + text;
        return std::nullopt;
    }
    if (eq >= 0) {
        bool ok = false;
        rule.value = faultText.mid(eq + 1).trimmed().toLongLong(&ok);
        if (!ok || rule.value < 0) {
            *error = QStringLiteral("bad fault value: ") + text;
            return std::nullopt;
        }
    } else if (rule.kind == FaultKind::Delay) {
        *error = QStringLiteral("delay needs milliseconds, e.g. delay=2000");
        return std::nullopt;
    }
    if (rule.kind == FaultKind::Error && rule.value == 0)
        rule.value = kDefaultErrorStatus;
    if (rule.kind == FaultKind::Error && (rule.value < 100 || rule.value > 599)) {
        *error = QStringLiteral("error status must be 100-599: ") + text;
        return std::nullopt;
    }
    if (rule.kind == FaultKind::Huge && rule.value == 0)
        rule.value = kDefaultHugeBytes;
    return rule;
}

FaultPlan ResolveFaults(const std::vector<FaultRule>& rules, const QString& countrySymbol)
{
    FaultPlan plan;
    for (const FaultRule& rule : rules) {
        if (rule.symbol.isEmpty())
            Apply(plan, rule);
    }
    const QString key = countrySymbol.toUpper();
    for (const FaultRule& rule : rules) {
        if (!rule.symbol.isEmpty() && rule.symbol == key)
            Apply(plan, rule);
    }
    return plan;
}
