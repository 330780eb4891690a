#include "tools/converter/settings.h"

#include <filesystem>

#include "app/config.h"
#include "app/text/text_file.h"
#include "effects/chain/effect_settings.h"
#include "tomidi/tomidi_settings.h"

namespace korvane::converter {

bool applySettings(const Options& options, std::string& error) {
    std::string path = options.config;
    std::error_code ignored;
    if (path.empty() && std::filesystem::is_regular_file(configFileName, ignored)) path = configFileName;
    if (path.empty()) {
        toMidiSettings = {defaultVelocityScale, defaultLock, defaultHarmo, defaultCpu, defaultSinExponent,
                          options.raw ? defaultRawWindowFactor : defaultWindowFactor};
        volume = defaultVolume;
    } else {
        std::string content;
        if (!readTextFile(path, content)) {
            error = "cannot read the settings file " + path;
            return false;
        }
        TextLines lines(std::move(content));
        readConfigurationFrom(lines);
    }
    ToMidiSettings& s = toMidiSettings;
    if (options.vol) s.vol = *options.vol;
    if (options.lock) s.lock = *options.lock;
    if (options.harmo) s.harmo = *options.harmo;
    if (options.cpu) s.cpu = *options.cpu;
    if (options.sinExponent) s.sinExponent = *options.sinExponent;
    if (options.windowFactor) s.windowFactor = *options.windowFactor;
    return true;
}

}  // namespace korvane::converter
