#pragma once
// Work that a modal window starts from its first paint, once the user can see the window, and
// after which the window closes by itself. The work runs outside the paint (it lets events run,
// and the window repaints meanwhile); it still starts should no paint ever come; and whatever it
// throws is carried past Qt's event handling to the code that showed the window.

#include <QTimer>
#include <exception>
#include <functional>

class QDialog;

class ModalWork {
public:
    explicit ModalWork(QDialog& dialog);
    ModalWork(const ModalWork&) = delete;
    ModalWork& operator=(const ModalWork&) = delete;

    // Shows the dialog modally and runs `work` once from its first paint; the dialog then
    // closes with the result code that `work` answers. Answers the dialog's result. What `work`
    // throws is rethrown here once the dialog has closed. The dialog may also close before the
    // work started (its close box): the work then never runs.
    int Exec(const std::function<int()>& work);
    // To be called from the dialog's paintEvent.
    void Painted();
    // The work is running (the dialog is shown and its loop is active).
    bool Running() const { return m_running; }

private:
    void Start();

    QDialog& m_dialog;
    QTimer m_fallback;
    const std::function<int()>* m_work = nullptr;
    bool m_armed = false;
    bool m_running = false;
    std::exception_ptr m_failure;
};
