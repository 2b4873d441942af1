#include "nativename.h"

#include <QFile>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

std::vector<std::string> NativeFileNames(const QString &path) {
    std::string exact = QFile::encodeName(path).toStdString();
    struct stat st {};
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString name = path.mid(slash + 1);
    if (!name.contains(QChar::ReplacementCharacter) || ::lstat(exact.c_str(), &st) == 0)
        return {exact};

    const std::string folder =
        slash < 0 ? std::string(".") : QFile::encodeName(path.left(slash + 1)).toStdString();
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    std::vector<std::string> found;
    if (dir) {
        while (const dirent *entry = ::readdir(dir.get())) {
            if (QFile::decodeName(entry->d_name) == name)
                found.push_back((slash < 0 ? std::string() : folder) + entry->d_name);
        }
    }
    if (found.empty())
        found.push_back(std::move(exact));
    return found;
}
