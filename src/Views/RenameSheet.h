#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// Asks for a macro's new name; "Save" only while the name is not blank.
class RenameSheet : public QDialog
{
    Q_OBJECT
public:
    RenameSheet(const QString& name, QWidget* parent = nullptr);

    QString name() const;
    QPushButton* saveButton() const { return m_save; }
    QLineEdit* field() const { return m_field; }

private:
    QLineEdit* m_field;
    QPushButton* m_save;
};
