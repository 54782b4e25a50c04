#pragma once

#include "Platform/KeyboardLayout.h"

#include <QHash>

// Key names from a table the test fills; "Key N" for the others.
class FakeKeyboardLayout : public KeyboardLayout
{
public:
    QString keyName(std::uint16_t keyCode) override
    {
        return m_names.value(keyCode, QStringLiteral("Key %1").arg(keyCode));
    }
    void setName(std::uint16_t keyCode, const QString& name) { m_names.insert(keyCode, name); }

private:
    QHash<std::uint16_t, QString> m_names{{4, QStringLiteral("H")}, {36, QStringLiteral("Return")}};
};
