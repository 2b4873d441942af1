#include "nativename.h"

#include <QByteArray>
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

std::filesystem::path NativePath(const QString &path) {
    std::vector<std::string> names = NativeFileNames(path);
    if (names.size() == 1)
        return std::move(names.front());
    return QFile::encodeName(path).toStdString();
}

QString ShownPath(const std::filesystem::path &path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

namespace {
constexpr std::string_view kFileUrl = "file://";
} // namespace

std::filesystem::path ArgumentPath(std::string_view raw, const QString &) {
    if (!raw.starts_with(kFileUrl))
        return std::string(raw);
    std::string_view rest = raw.substr(kFileUrl.size());
    if (rest.starts_with("localhost/"))
        rest.remove_prefix(std::string_view("localhost").size());
    const QByteArray bytes = QByteArray::fromPercentEncoding(
        QByteArray::fromRawData(rest.data(), qsizetype(rest.size())));
    return bytes.toStdString();
}

QString PathArgument(const std::filesystem::path &path) {
    const QByteArray bytes = QByteArray::fromStdString(path.native());
    if (QFile::encodeName(QFile::decodeName(bytes)) == bytes && !bytes.startsWith(kFileUrl.data()))
        return QFile::decodeName(bytes);
    std::error_code code;
    const std::filesystem::path whole = std::filesystem::absolute(path, code);
    return QString::fromLatin1(
        kFileUrl.data() +
        QByteArray::fromStdString((code ? path : whole).native()).toPercentEncoding("/"));
}
