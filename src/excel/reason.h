#pragma once

// Why something failed: the first cause, as the layer that found it said it,
// and the steps it failed within, added on the way up. Every front end shows
// text(), which always ends with the first cause, so no layer can lose it by
// putting its own words in its place.

#include <QString>
#include <QStringList>

namespace Excel {

class Reason
{
public:
    Reason() = default;
    explicit Reason(const QString &cause) : m_cause(cause) {}

    // A reason with a cause of its own, or the fallback when it has none.
    static Reason orElse(const QString &cause, const QString &fallback)
    {
        return Reason(cause.isEmpty() ? fallback : cause);
    }

    bool isEmpty() const { return m_cause.isEmpty(); }
    const QString &cause() const { return m_cause; }
    // Outermost first.
    const QStringList &steps() const { return m_steps; }

    // This reason as the cause of a failed step ("open", "sheet 'Data'").
    Reason within(const QString &step) const
    {
        Reason r(*this);
        if (!r.isEmpty() && !step.isEmpty())
            r.m_steps.prepend(step);
        return r;
    }

    // "open: sheet 'Data': cannot read the part".
    QString text() const
    {
        return m_steps.isEmpty() ? m_cause : m_steps.join(QStringLiteral(": ")) + QStringLiteral(": ") + m_cause;
    }

    bool operator==(const Reason &o) const { return m_cause == o.m_cause && m_steps == o.m_steps; }
    bool operator!=(const Reason &o) const { return !(*this == o); }

private:
    QString m_cause;
    QStringList m_steps;
};

} // namespace Excel
