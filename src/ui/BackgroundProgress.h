// The status bar's share of a check that runs without the progress dialog: the progress line,
// a small bar and a cancel button. The operation still runs under a progress dialog, hidden,
// that holds its texts and its running flag; this panel shows what that dialog would.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

namespace toppeek::ui {

class BackgroundProgress : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundProgress(QWidget* parent = nullptr);

    // Shows the texts and the bar of progress, the hidden dialog of the running operation. The
    // texts change several times per message; the panel takes them at most once per interval.
    void follow();
    // Shown for the run, hidden again once it ended.
    void begin();
    void end();

    QLabel* progressText;
    QProgressBar* progressBar;
    QToolButton* cancelButton;

private:
    void takeTexts();

    static constexpr int kRefreshIntervalMs = 100;
    QElapsedTimer lastTaken_;
    QTimer deferred_;
};

} // namespace toppeek::ui
