#pragma once

#include <QByteArray>

namespace velmora {

class ScriptMachine;

// Every setting with what it holds now. For people: one line a setting, grouped by the window
// frame that shows it, aligned, "not set" where a value is absent, control characters shown as
// <0xNN>. For scripts: one JSON object, {"machine": root, "kind": "folder" | "drive" | "image",
// "settings": {group: {name: text | null}}}, the
// groups "standard-com-settings", "modem-settings", "modem-tweaks" and "buffer-settings".
QByteArray showText(ScriptMachine& machine);
QByteArray showJson(ScriptMachine& machine);

} // namespace velmora
