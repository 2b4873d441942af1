#pragma once

#include "normalfile.h"

#include <QFile>
#include <QString>

inline bool NormalFileExists(const QString &path) {
    return NormalFileExists(QFile::encodeName(path).toStdString());
}
