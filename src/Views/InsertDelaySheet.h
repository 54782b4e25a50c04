#pragma once

#include <QDialog>

class QDoubleSpinBox;

// Asks for the length of a pause, 0.05 to 30 s in steps of 0.05.
class InsertDelaySheet : public QDialog
{
    Q_OBJECT
public:
    InsertDelaySheet(double duration, QWidget* parent = nullptr);

    double duration() const;
    QDoubleSpinBox* stepper() const { return m_stepper; }

private:
    QDoubleSpinBox* m_stepper;
};
