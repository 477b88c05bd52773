#pragma once

#include <QString>

// The media of the demo history, drawn and synthesised here so that nothing is
// downloaded: photos, contact pictures, stickers, a map, a short video and a voice
// note. Each writer throws std::runtime_error when the file cannot be written.
namespace DemoMedia {

enum class Scene { Mountains, Lake, Beach, City, Forest, Cake };

// A photo-like picture (JPEG) of width × height.
void writePhoto(const QString& path, Scene scene, int width = 1024, int height = 768);
// A round portrait with the person's initials on a colour of its own (JPEG).
void writeContactPhoto(const QString& path, const QString& name, int hue);
// A sticker with a transparent background (PNG); the variant picks face and colour.
void writeSticker(const QString& path, int variant);
// A street map with a pin in the middle (JPEG), as a location message shows it.
void writeMap(const QString& path);
// A few seconds of motion JPEG in an AVI file.
void writeVideo(const QString& path);
// A few seconds of a small tune as 16-bit mono PCM in a WAV file.
void writeVoice(const QString& path);

} // namespace DemoMedia
