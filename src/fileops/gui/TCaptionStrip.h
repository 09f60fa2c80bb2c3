#pragma once
// The progress window's caption strip: a band shaded from the button-shadow colour to the
// button-face colour, with the caption in bold in the highlight colour.

#include <QLabel>

class TCaptionStrip : public QLabel {
    Q_OBJECT
public:
    explicit TCaptionStrip(QWidget* parent = nullptr);

    // The number of colour steps of the band.
    static constexpr int kGradientSteps = 32;

protected:
    void paintEvent(QPaintEvent* event) override;
};
