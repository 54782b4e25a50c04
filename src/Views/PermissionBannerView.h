#pragma once

#include <QFrame>

class AppViewModel;
class QLabel;
class QPushButton;

// Shown above the library while the system withholds what recording or replaying needs.
class PermissionBannerView : public QFrame
{
    Q_OBJECT
public:
    explicit PermissionBannerView(AppViewModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppViewModel& m_model;
    QLabel* m_accessibility;
    QPushButton* m_grantAccessibility;
    QLabel* m_inputMonitoring;
    QPushButton* m_grantInputMonitoring;
    bool m_checked = false; // "Grant" was pressed: say what the new check found
};
