#include "app/widgets/picture_box.h"

#include <QPainter>

namespace fotavi {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::set_picture(const QImage& picture) {
    picture_ = picture;
    fitted_ = QImage();
    placeholder_.clear();
    update();
}

void PictureBox::set_placeholder(const QString& text) {
    picture_ = QImage();
    fitted_ = QImage();
    placeholder_ = text;
    update();
}

void PictureBox::set_fitted_picture(const QImage& picture) {
    const QImage whole = picture;  // it may be fitted_ itself, which set_picture clears
    set_picture(whole.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    fitted_ = whole;
}

void PictureBox::resizeEvent(QResizeEvent*) {
    if (!fitted_.isNull()) set_fitted_picture(fitted_);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(48, 48, 48));
    if (!picture_.isNull()) {
        // Pictures arrive decoded to fit the box; one decoded for a larger box
        // (just before a layout change) is scaled down here.
        QSize size = picture_.size();
        if (size.width() > width() || size.height() > height())
            size.scale(this->size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), size);
        target.moveCenter(rect().center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, picture_);
    } else if (!placeholder_.isEmpty()) {
        painter.setPen(QColor(230, 230, 230));
        painter.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap,
                         placeholder_);
    }
}

}  // namespace fotavi
