#include "Views/InsertDelaySheet.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

InsertDelaySheet::InsertDelaySheet(double duration, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Insert Delay"));
    setFixedWidth(300);
    auto* title = new QLabel(QStringLiteral("Insert Delay"));
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    m_stepper = new QDoubleSpinBox;
    m_stepper->setRange(0.05, 30.0);
    m_stepper->setSingleStep(0.05);
    m_stepper->setDecimals(2);
    m_stepper->setSuffix(QStringLiteral(" s"));
    m_stepper->setValue(duration);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Duration")));
    row->addStretch();
    row->addWidget(m_stepper);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    auto* insert = new QPushButton(QStringLiteral("Insert"));
    insert->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(insert);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(24);
    layout->addWidget(title);
    layout->addLayout(row);
    layout->addLayout(buttons);
    connect(insert, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Escape cancels (Ctrl+Escape opens the menu on KDE and XFCE); Ctrl+Return confirms.
    cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    insert->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
}

double InsertDelaySheet::duration() const
{
    return m_stepper->value();
}
