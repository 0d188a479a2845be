#include "setupvalues.h"

#include "settingskeys.h"
#include "settingsstore.h"

namespace {

struct MacroKeys {
    const QString& text;
    const QString& cr;
};

std::array<MacroKeys, 4> macroKeys()
{
    return {{{keys::kF9Macro, keys::kF9Cr},
             {keys::kF10Macro, keys::kF10Cr},
             {keys::kF11Macro, keys::kF11Cr},
             {keys::kF12Macro, keys::kF12Cr}}};
}

} // namespace

SetupValues SetupValues::Read(const fw::SettingsStore& store)
{
    SetupValues values;
    values.host = store.GetProfileString(keys::kSetup, keys::kHost, keys::kDefaultHost);
    values.port = store.GetProfileInt(keys::kSetup, keys::kPort, keys::kDefaultPort);
    const auto keysOf = macroKeys();
    for (size_t i = 0; i < values.macros.size(); ++i) {
        values.macros[i].text = store.GetProfileString(keys::kSetup, keysOf[i].text, QString());
        values.macros[i].cr = store.GetProfileInt(keys::kSetup, keysOf[i].cr, 0) != 0;
    }
    return values;
}

bool SetupValues::Write(const fw::SettingsStore& store) const
{
    if (!store.WriteProfileString(keys::kSetup, keys::kHost, host)
        || !store.WriteProfileInt(keys::kSetup, keys::kPort, port))
        return false;
    // All macro texts first, then all line-end boxes.
    const auto keysOf = macroKeys();
    for (size_t i = 0; i < macros.size(); ++i) {
        if (!store.WriteProfileString(keys::kSetup, keysOf[i].text, macros[i].text))
            return false;
    }
    for (size_t i = 0; i < macros.size(); ++i) {
        if (!store.WriteProfileInt(keys::kSetup, keysOf[i].cr, macros[i].cr ? 1 : 0))
            return false;
    }
    return true;
}
