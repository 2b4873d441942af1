// The document readers over arbitrary bytes, each format tried on every
// input: they always answer (a document or a message), and a document's
// sections lie inside its text, in order, with nothing broken in the text.
#include "documents/documentfile.h"
#include "fuzzcheck.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool Sound(const QString &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r')
            return false;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    (void)RecogniseDocument(bytes, u"input");
    for (const DocumentFormat format :
         {DocumentFormat::Zip, DocumentFormat::Pdf, DocumentFormat::Html, DocumentFormat::Markdown,
          DocumentFormat::Fb2}) {
        const DocumentResult read = ReadDocument(bytes, format, QStringLiteral("input"));
        FUZZ_CHECK(read.Ok() != !read.error.isEmpty(), "neither a document nor a message");
        if (!read.Ok())
            continue;
        FUZZ_CHECK(!read.document.text.isEmpty(), "an empty document passed as read");
        FUZZ_CHECK(Sound(read.document.text), "the text holds a CR or a lone surrogate");
        qsizetype last = 0;
        for (const DocumentSection &section : read.document.sections) {
            FUZZ_CHECK(section.offset >= last && section.offset <= read.document.text.size(),
                       "a section outside the text or out of order");
            FUZZ_CHECK(section.level >= 1 && section.level <= 9, "a section level out of range");
            last = section.offset;
        }
    }
    return 0;
}
