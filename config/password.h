#pragma once

#include <QString>

// Protection of the stored integrator passwords: a per-user XOR stream with a
// checksum, in URL-safe Base64. Plain-text passwords read back unchanged.
QString encryptPassword(const QString &password, int uid);
QString decryptPassword(const QString &stored, int uid);
