#include "support/Prompts.h"
#include "support/gui/ModalWork.h"

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

// A dialog that never reports a paint stands for a display that shows nothing.
TEST(ModalWork, StartsEvenWithoutAPaintAndNeverAfterTheDialogClosed) {
    QDialog dialog;
    ModalWork modal(dialog);
    int runs = 0;
    bool visible = false;
    const auto work = [&] {
        ++runs;
        visible = dialog.isVisible();
        return int(mrOk);
    };
    EXPECT_EQ(modal.Exec(work), mrOk);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(dialog.isVisible());

    // Closed before its work began: the work never runs, not even later.
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    EXPECT_EQ(modal.Exec(work), QDialog::Rejected);
    dialog.show();
    modal.Painted();
    QTimer::singleShot(50, &dialog, [&] { dialog.hide(); });
    QTest::qWait(100);
    EXPECT_EQ(runs, 1);
}
