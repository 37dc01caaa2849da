#pragma once

#include <QString>

class Config;

// Applies the desktop user's theme: "Otomatik" or "Sistem" bring back the platform
// style remembered on first use, "Fusion" and "Windows" select that Qt style.
void applyTheme(Config &config);
void applyTheme(Config &config, const QString &theme);
