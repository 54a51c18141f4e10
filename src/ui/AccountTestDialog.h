// The account test's report ("Account Test"), opened by the account editor's Test button.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

namespace toppeek::ui {

class AccountTestDialog : public QDialog {
    Q_OBJECT

public:
    AccountTestDialog(const QString& report, bool succeeded, QWidget* parent = nullptr);

    QPlainTextEdit* reportView;
    QPushButton* closeButton;
};

} // namespace toppeek::ui
