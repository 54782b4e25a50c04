#include "Views/RenameSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
bool isBlank(const QString& text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            return false;
    return true;
}
} // namespace

RenameSheet::RenameSheet(const QString& name, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Rename Macro"));
    setFixedWidth(300);
    auto* title = new QLabel(QStringLiteral("Rename Macro"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    title->setFont(font);
    m_field = new QLineEdit(name);
    m_field->setPlaceholderText(QStringLiteral("Macro name"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    m_save = new QPushButton(QStringLiteral("Save"));
    m_save->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(m_field);
    layout->addLayout(buttons);
    auto update = [this] { m_save->setEnabled(!isBlank(m_field->text())); };
    connect(m_field, &QLineEdit::textChanged, this, update);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (m_save->isEnabled())
            accept();
    });
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Escape cancels (Ctrl+Escape opens the menu on KDE and XFCE); Ctrl+Return confirms.
    cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    update();
    m_field->setFocus();
}

QString RenameSheet::name() const
{
    return m_field->text();
}
