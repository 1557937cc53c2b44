#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace vellor {

// A size field of the Options dialog: an edit field that takes any text, with a pair of arrow
// buttons side by side at its right edge. The arrows (and the Up and Down keys in the field) step
// the number within 0..max, wrapping round, and write it back as plain decimal.
class SizeField : public QWidget {
    Q_OBJECT

  public:
    SizeField(int max, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QLineEdit* Edit() const { return edit_; }
    QToolButton* UpButton() const { return up_; }
    void Step(int delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int max_;
    QLineEdit* edit_;
    QToolButton* down_;
    QToolButton* up_;
};

}  // namespace vellor
