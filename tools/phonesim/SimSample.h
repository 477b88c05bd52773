#pragma once

#include "tools/phonesim/SimDevice.h"

#include <QString>

// The sample phone: Viber installed with a small message history (two chats, a picture,
// a call) in the shape of the app's database version 53, and one picture on the SD card.
namespace SimSample {

inline constexpr auto PicturePath = "/storage/emulated/0/viber/media/Viber Images/IMG-20231114-WA0001.jpg";

QString description(const QString& serial, int sdkLevel, bool rooted);

// Makes the device a sample phone; throws std::runtime_error when a file cannot be written.
void populate(SimDevice& device, int sdkLevel, bool rooted, bool agentInstalled);

} // namespace SimSample
