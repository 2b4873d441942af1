#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string_view>

typedef struct zip zip_t;

// A zip archive read from memory (libzip), its entries unpacked on demand
// within bounds: all of them together to kMaxUnpackedBytes, and each larger
// than a megabyte to kMaxUnpackRatio times its packed size, so that a small
// hostile archive cannot fill the memory. A damaged or truncated archive,
// or an entry that breaks a bound, throws DocumentError.
class ZipArchive {
public:
    // `bytes` must outlive the archive.
    explicit ZipArchive(std::string_view bytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool Has(const QString &name) const;
    QStringList Names() const;
    // The entry's bytes; a missing entry throws DocumentError naming it.
    QByteArray Read(const QString &name);

private:
    qint64 Locate(const QString &name) const;

    zip_t *zip_ = nullptr;
    qint64 unpacked_ = 0;
};
