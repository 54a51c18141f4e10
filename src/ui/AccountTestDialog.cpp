#include "ui/AccountTestDialog.h"

#include "ui/DialogSupport.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace toppeek::ui {

AccountTestDialog::AccountTestDialog(const QString& report, bool succeeded, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FAccountTest"));
    setWindowTitle(tr("Account Test"));
    auto* headline = named(
        new QLabel(succeeded ? tr("The account works.") : tr("The account does not work yet."),
                   this),
        "LResult");
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);
    reportView = named(new QPlainTextEdit(report, this), "MReport");
    reportView->setReadOnly(true);
    reportView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    reportView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int lineHeight = reportView->fontMetrics().lineSpacing();
    const int charWidth = reportView->fontMetrics().horizontalAdvance(QLatin1Char('m'));
    reportView->setMinimumSize(84 * charWidth, 20 * lineHeight);
    closeButton = named(new QPushButton(tr("Close"), this), "BClose");
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headline);
    layout->addWidget(reportView, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(closeButton);
    layout->addLayout(row);
}

} // namespace toppeek::ui
