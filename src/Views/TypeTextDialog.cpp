#include "Views/TypeTextDialog.h"

#include "ViewModels/AppViewModel.h"
#include "ViewModels/TextTyping.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TypeTextDialog::TypeTextDialog(AppViewModel& model, QWidget* parent) : QDialog(parent), m_model(model)
{
    setObjectName(QStringLiteral("typeText"));
    setWindowTitle(m_model.t(QStringLiteral("text.title")));
    m_text = new QPlainTextEdit;
    m_text->setTabChangesFocus(true);
    m_text->setMinimumSize(360, 100);
    m_interval = new QSpinBox;
    m_interval->setRange(0, 2000);
    m_interval->setSuffix(QStringLiteral(" ms"));
    m_interval->setValue(30);
    auto* form = new QFormLayout;
    form->addRow(m_model.t(QStringLiteral("text.label")), m_text);
    form->addRow(m_model.t(QStringLiteral("text.interval")), m_interval);
    m_problem = new QLabel;
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color: #d70015"));
    auto* cancel = new QPushButton(m_model.t(QStringLiteral("editor.cancel")));
    m_insert = new QPushButton(m_model.t(QStringLiteral("editor.insert")));
    m_insert->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_insert);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_insert, &QPushButton::clicked, this, [this] {
        update();
        if (!m_actions.empty())
            accept();
    });
    connect(m_text, &QPlainTextEdit::textChanged, this, &TypeTextDialog::update);
    connect(m_interval, &QSpinBox::valueChanged, this, &TypeTextDialog::update);
    update();
}

int TypeTextDialog::intervalMs() const
{
    return m_interval->value();
}

void TypeTextDialog::update()
{
    m_actions.clear();
    const QString text = m_text->toPlainText();
    QString why;
    if (!text.isEmpty()) {
        auto typed = TextTyping::actionsFor(text, m_model.keyboardLayout(), m_interval->value() / 1000.0);
        if (typed)
            m_actions = std::move(typed).value();
        else
            why = typed.error();
    }
    m_problem->setText(why);
    m_problem->setVisible(!why.isEmpty());
    m_insert->setEnabled(!m_actions.empty());
}
