#include "ziparchive.h"

#include "documents/documenterror.h"
#include "documents/documentfile.h"

#include <zip.h>

namespace {

DocumentError Damaged(const QString &why) {
    return DocumentError{QStringLiteral("it is a damaged or incomplete archive (%1).").arg(why)};
}

DocumentError TooBig() {
    return DocumentError{QStringLiteral(
        "it unpacks to far more than it holds, as only a damaged or hostile archive does.")};
}

QString ErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

} // namespace

ZipArchive::ZipArchive(std::string_view bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        throw Damaged(QStringLiteral("out of memory"));
    }
    zip_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!zip_) {
        zip_source_free(source);
        const QString why = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw Damaged(why);
    }
    zip_error_fini(&error);
}

ZipArchive::~ZipArchive() {
    if (zip_)
        zip_discard(zip_);
}

qint64 ZipArchive::Locate(const QString &name) const {
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(zip_, utf8.constData(), ZIP_FL_ENC_GUESS);
    if (index < 0) // books name their parts in the wrong case now and then
        index = zip_name_locate(zip_, utf8.constData(), ZIP_FL_ENC_GUESS | ZIP_FL_NOCASE);
    return index;
}

bool ZipArchive::Has(const QString &name) const {
    return Locate(name) >= 0;
}

QStringList ZipArchive::Names() const {
    QStringList names;
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char *name = zip_get_name(zip_, zip_uint64_t(i), ZIP_FL_ENC_GUESS))
            names.append(QString::fromUtf8(name));
    return names;
}

QByteArray ZipArchive::Read(const QString &name) {
    const qint64 index = Locate(name);
    if (index < 0)
        throw DocumentError{
            QStringLiteral("it is an incomplete document: its part \"%1\" is missing.").arg(name)};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip_, zip_uint64_t(index), 0, &stat) != 0)
        throw Damaged(QString::fromLocal8Bit(zip_strerror(zip_)));
    const qint64 packed = (stat.valid & ZIP_STAT_COMP_SIZE) ? qint64(stat.comp_size) : 0;
    zip_file_t *file = zip_fopen_index(zip_, zip_uint64_t(index), 0);
    if (!file)
        throw Damaged(QString::fromLocal8Bit(zip_strerror(zip_)));
    // The sizes an archive states may lie: what is unpacked is counted as it comes.
    QByteArray data;
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            const QString why = QString::fromLocal8Bit(zip_file_strerror(file));
            zip_fclose(file);
            throw Damaged(why);
        }
        if (n == 0)
            break;
        unpacked_ += n;
        const qint64 size = data.size() + n;
        if (unpacked_ > kMaxUnpackedBytes ||
            (size > qint64{1024} * 1024 && size > kMaxUnpackRatio * std::max<qint64>(packed, 1))) {
            zip_fclose(file);
            throw TooBig();
        }
        data.append(buffer, qsizetype(n));
    }
    const int closed = zip_fclose(file); // a checksum that does not match shows here
    if (closed != 0)
        throw Damaged(ErrorText(closed));
    return data;
}
