#pragma once

#include <QDialog>

class AppViewModel;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

// "Change Gaps…" for several actions: each gap set to a number of milliseconds, or
// multiplied by a factor.
class GapsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GapsDialog(AppViewModel& model, QWidget* parent = nullptr);

    bool scales() const;
    double gapSeconds() const;
    double factor() const;

    QRadioButton* setChoice() const { return m_set; }
    QRadioButton* scaleChoice() const { return m_scale; }
    QSpinBox* gapField() const { return m_gap; }
    QDoubleSpinBox* factorField() const { return m_factor; }

private:
    QRadioButton* m_set;
    QRadioButton* m_scale;
    QSpinBox* m_gap;
    QDoubleSpinBox* m_factor;
};
