#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace fotavi {

// The picture box: paints the picture centred at the size it was decoded to,
// or a placeholder that says why a picture cannot be shown.
class PictureBox : public QWidget {
public:
    explicit PictureBox(QWidget* parent);
    void set_picture(const QImage& picture);
    void set_placeholder(const QString& text);
    // A picture fitted to the box whatever its size, now and after the box
    // changes size (the start-up picture).
    void set_fitted_picture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    const QString& placeholder() const { return placeholder_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage picture_;
    QImage fitted_;  // the picture set_fitted_picture was given
    QString placeholder_;
};

}  // namespace fotavi
