// Every named setting the library answers, in the order they are listed: each row with the
// getter that reads through it, its answer given as text.
#pragma once

#include "values/setting_rows.h"

#include <span>
#include <string>
#include <string_view>

namespace tavlo::settings {

struct SettingEntry {
    const registry::SettingRow* row;
    // The getter's answer, numbers in decimal, written into out (replacing what it held).
    void (*read)(std::u16string& out);
};

std::span<const SettingEntry> settingTable();
// The entry named name (the row's name), or null.
const SettingEntry* findSetting(std::string_view name);
// A row's default in words: "20", "the empty string", "application directory\Drv".
std::u16string defaultInWords(const registry::Default& byDefault);

} // namespace tavlo::settings
