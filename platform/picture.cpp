#include "platform/picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>

namespace fotavi {

QSize fit_into(QSize picture, QSize box) {
    if (picture.isEmpty() || box.isEmpty())
        return {};
    QSize fitted = picture.scaled(box, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

namespace {

QString reason_for(const QImageReader& reader) {
    switch (reader.error()) {
        case QImageReader::FileNotFoundError:
            return QStringLiteral("ファイルが見つかりません");
        case QImageReader::DeviceError:
            return QStringLiteral("ファイルを読めません（%1）").arg(reader.errorString());
        case QImageReader::UnsupportedFormatError:
            return QStringLiteral("JPEG 画像ではありません");
        case QImageReader::InvalidDataError:
            return QStringLiteral("画像のデータが壊れています（%1）").arg(reader.errorString());
        default:
            return QStringLiteral("画像を読み込めません（%1）").arg(reader.errorString());
    }
}

}  // namespace

Picture load_picture(const QString& path, QSize box) {
    Picture result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("ファイルが見つかりません");
        return result;
    }
    if (info.size() == 0) {
        result.error = QStringLiteral("ファイルが空です（0 バイト）");
        return result;
    }
    // The whole file is read in one go: the JPEG reader would otherwise pull
    // it through the file in 4 KiB pieces, which costs a few percent of the
    // decode. Should that read fail, the reader opens the file itself and
    // names the reason as usual.
    QByteArray bytes;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            bytes.clear();
        file.close();
    }
    QBuffer buffer(&bytes);
    QImageReader reader;
    if (bytes.isEmpty()) {
        reader.setFileName(path);
    } else {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
    }
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        result.error = reason_for(reader);
        return result;
    }
    // The scaled size refers to the picture as stored; a picture turned by a
    // quarter by its EXIF orientation is fitted with its sides swapped.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize shown = turned ? stored.transposed() : stored;
    const QSize target = fit_into(shown, box);
    // Decoding straight to the target size lets libjpeg scale in the DCT;
    // no full-size image is ever made.
    reader.setScaledSize(turned ? target.transposed() : target);
    result.image = reader.read();
    if (result.image.isNull())
        result.error = reason_for(reader);
    return result;
}

}  // namespace fotavi
