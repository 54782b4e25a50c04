#include "Views/ContentView.h"

#include "ViewModels/AppViewModel.h"
#include "Views/Icons.h"
#include "Views/MacroDetailView.h"
#include "Views/MacroListView.h"
#include "Views/PermissionBannerView.h"
#include "Views/RecorderControlView.h"

#include <QFrame>
#include <QLabel>
#include <QSplitter>
#include <QStackedLayout>
#include <QVBoxLayout>

ContentView::ContentView(AppViewModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    Icons::ensureRegistered();
    m_list = new MacroListView(model);
    m_detailHost = new QWidget;
    m_detailStack = new QStackedLayout(m_detailHost);
    m_emptyDetail = new QLabel;
    m_emptyDetail->setAlignment(Qt::AlignCenter);
    m_emptyDetail->setWordWrap(true);
    m_detailStack->addWidget(m_emptyDetail);

    auto* split = new QSplitter;
    split->addWidget(m_list);
    split->addWidget(m_detailHost);
    split->setStretchFactor(1, 1);
    split->setSizes({220, 500});
    split->setChildrenCollapsible(false);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new PermissionBannerView(model));
    layout->addWidget(split, 1);
    layout->addWidget(line);
    layout->addWidget(new RecorderControlView(model));
    setMinimumSize(620, 460);

    connect(&m_model, &AppViewModel::selectedMacroIDChanged, this, &ContentView::showSelected);
    connect(&m_model, &AppViewModel::macrosChanged, this, &ContentView::showSelected);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &ContentView::retranslate);
    retranslate();
    showSelected();
}

void ContentView::retranslate()
{
    m_emptyDetail->setText(QStringLiteral("<img src=':/icons/record.svg' width='48' height='48'>"
                                          "<div style='font-size:14pt;color:gray'>%1</div>"
                                          "<div style='color:#a0a0a0'>%2</div>")
                               .arg(m_model.t(QStringLiteral("detail.empty.title")).toHtmlEscaped(),
                                    m_model.t(QStringLiteral("detail.empty.subtitle")).toHtmlEscaped()));
    // The detail pane translates itself in place: making it anew would lose the
    // playback options, the action selection and the delay length.
}

void ContentView::showSelected()
{
    const Macro* macro = m_model.selectedMacro();
    const QUuid id = macro ? macro->id : QUuid();
    if (id == m_shownID && (macro != nullptr) == (m_detail != nullptr))
        return;
    m_shownID = id;
    if (m_detail) {
        m_detailStack->removeWidget(m_detail);
        m_detail->deleteLater();
        m_detail = nullptr;
    }
    if (macro) {
        // A new pane per macro: fresh selection, delay length and playback options.
        m_detail = new MacroDetailView(m_model, id);
        m_detailStack->addWidget(m_detail);
        m_detailStack->setCurrentWidget(m_detail);
    } else {
        m_detailStack->setCurrentWidget(m_emptyDetail);
    }
}
