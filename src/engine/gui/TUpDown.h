#pragma once
// Up and down arrows that step the number in a text field they are attached to, the way a
// spin box would, while the field keeps exactly the text that was typed into it: the arrows
// read the field's number when pressed, step it within their range and write it back.

#include <QWidget>

class QLineEdit;
class QToolButton;

class TUpDown : public QWidget {
public:
    TUpDown(QLineEdit* buddy, int minimum, int maximum, int position, QWidget* parent = nullptr);

    // Steps by `delta` from the field's number (or, when the field holds no number, from the
    // last position), kept within the range, and writes the result into the field.
    void stepBy(int delta);

    int position() const { return m_position; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_buddy;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_minimum;
    int m_maximum;
    int m_position;
};
