#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// Previews made from media files the database names. The files come from elsewhere, so
// an image is sized from its header before anything is decoded.
namespace PreviewImage {

inline constexpr int LongerSide = 400;
// Larger pictures than this (in either side or in pixels) are left without a preview.
inline constexpr int MaxSide = 20000;
inline constexpr qint64 MaxPixels = 64LL * 1000 * 1000;

// Reads source as JPEG, failing that as PNG, scales it (aspect ratio kept) so that its
// longer side is LongerSide pixels and saves it at target in the format its suffix
// names, as JPEG when the suffix names none. Returns false and leaves no file when
// anything fails.
bool make(const QString& source, const QString& target);

// The scaled picture make() saves, read from a seekable device; a null image for anything
// that is not a JPEG or PNG picture within the limits above.
QImage read(QIODevice& device);

} // namespace PreviewImage
