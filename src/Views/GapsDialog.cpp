#include "Views/GapsDialog.h"

#include "ViewModels/AppViewModel.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

GapsDialog::GapsDialog(AppViewModel& model, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("gaps"));
    setWindowTitle(model.t(QStringLiteral("gaps.title")));
    m_set = new QRadioButton(model.t(QStringLiteral("gaps.set")));
    m_scale = new QRadioButton(model.t(QStringLiteral("gaps.scale")));
    m_set->setChecked(true);
    m_gap = new QSpinBox;
    m_gap->setRange(0, 3600 * 1000);
    m_gap->setSuffix(QStringLiteral(" ms"));
    m_gap->setValue(50);
    m_factor = new QDoubleSpinBox;
    m_factor->setRange(0, 100);
    m_factor->setDecimals(2);
    m_factor->setSingleStep(0.25);
    m_factor->setPrefix(QStringLiteral("\u00d7 "));
    m_factor->setValue(1);
    auto* grid = new QGridLayout;
    grid->addWidget(m_set, 0, 0);
    grid->addWidget(m_gap, 0, 1);
    grid->addWidget(m_scale, 1, 0);
    grid->addWidget(m_factor, 1, 1);
    connect(m_gap, &QSpinBox::valueChanged, m_set, [this] { m_set->setChecked(true); });
    connect(m_factor, &QDoubleSpinBox::valueChanged, m_scale, [this] { m_scale->setChecked(true); });
    auto* cancel = new QPushButton(model.t(QStringLiteral("editor.cancel")));
    auto* apply = new QPushButton(model.t(QStringLiteral("gaps.apply")));
    apply->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(apply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
}

bool GapsDialog::scales() const
{
    return m_scale->isChecked();
}

double GapsDialog::gapSeconds() const
{
    return m_gap->value() / 1000.0;
}

double GapsDialog::factor() const
{
    return m_factor->value();
}
