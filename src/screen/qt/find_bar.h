#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace vellor {

// The find bar: a text box, Previous and Next, "Match case", a place for "not found" and a close
// button. Enter finds the next match, Shift+Enter the previous one, Esc closes the bar. Keys typed
// here stay here: none reaches the device.
class FindBar : public QWidget {
    Q_OBJECT

  public:
    explicit FindBar(QWidget* parent = nullptr);

    // Puts the keyboard focus in the text box with its text selected, ready to be replaced.
    void Activate();
    // The result of the last search: a match, or "not found".
    void ShowResult(bool found);

    QLineEdit* Needle() const { return needle_; }

  signals:
    void FindRequested(const QString& needle, bool backwards, bool matchCase);
    void CloseRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Find(bool backwards);

    QLineEdit* needle_;
    QCheckBox* matchCase_;
    QLabel* result_;
};

}  // namespace vellor
