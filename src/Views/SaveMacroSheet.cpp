#include "Views/SaveMacroSheet.h"

#include "ViewModels/AppViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SaveMacroSheet::SaveMacroSheet(AppViewModel& model, QWidget* parent) : QDialog(parent), m_model(model)
{
    setWindowTitle(QStringLiteral("Save Recording"));
    setFixedWidth(340);
    auto* title = new QLabel(QStringLiteral("Save Recording"));
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    auto* count = new QLabel(QStringLiteral("Macro Name"));
    count->setStyleSheet(QStringLiteral("color: gray"));
    m_name = new QLineEdit(model.recordingFlow().pendingRecordingName());
    m_name->setObjectName(QStringLiteral("macroName"));
    m_name->setPlaceholderText(QStringLiteral("e.g. Login Flow"));
    auto* discard = new QPushButton(QStringLiteral("Discard"));
    auto* save = new QPushButton(QStringLiteral("Save"));
    save->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(discard);
    buttons->addWidget(save);
    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("recordingNotice"));
    m_notice->setWordWrap(true);
    m_notice->setTextFormat(Qt::PlainText); // it quotes a name
    m_notice->setStyleSheet(QStringLiteral("color: #b25000"));
    auto showNotice = [this] {
        m_notice->setText(m_model.recordingFlow().recordingNotice());
        m_notice->setVisible(!m_model.recordingFlow().recordingNotice().isEmpty());
    };
    showNotice();
    connect(&m_model.recordingFlow(), &RecordingFlow::recordingNoticeChanged, this, showNotice);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_notice);
    layout->addWidget(title);
    layout->addWidget(count);
    layout->addWidget(m_name);
    layout->addLayout(buttons);
    connect(m_name, &QLineEdit::textChanged, &m_model.recordingFlow(), &RecordingFlow::setPendingRecordingName);
    // The field shows the model's name (a new recording starts with an empty one).
    connect(&m_model.recordingFlow(), &RecordingFlow::pendingRecordingNameChanged, this, [this] {
        if (m_name->text() != m_model.recordingFlow().pendingRecordingName())
            m_name->setText(m_model.recordingFlow().pendingRecordingName());
    });
    connect(save, &QPushButton::clicked, this, [this] {
        m_model.recordingFlow().savePendingRecording();
        accept();
    });
    connect(m_name, &QLineEdit::returnPressed, save, &QPushButton::click);
    // Ctrl+D: a bare Escape never throws a recording away, and Ctrl+Escape belongs to
    // the desktop's menu on KDE and XFCE.
    discard->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    connect(discard, &QPushButton::clicked, this, [this] {
        m_model.recordingFlow().discardPendingRecording();
        QDialog::reject();
    });
    m_name->setFocus();
}
