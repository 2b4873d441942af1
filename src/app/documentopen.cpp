#include "documentopen.h"

#include "app/textfile.h"
#include "documents/documentfile.h"

OpenedFile ReadFileToOpen(const std::filesystem::path &path, const QString &fileName,
                          const std::atomic<bool> *stop,
                          const std::function<bool(std::string_view bytes)> &checkText) {
    OpenedFile opened;
    std::optional<QString> text =
        ReadTextFile(path, kMaxTextFileBytes, [&](std::string_view bytes) {
            const DocumentFormat format = RecogniseDocument(bytes, fileName);
            if (format == DocumentFormat::Text)
                return !checkText || checkText(bytes);
            opened.document = true;
            DocumentResult read = ReadDocument(bytes, format, fileName, stop);
            if (read.Ok()) {
                opened.text = std::move(read.document.text);
                opened.sections = std::move(read.document.sections);
                opened.language = std::move(read.document.language);
                opened.title = std::move(read.document.title);
                opened.author = std::move(read.document.author);
            } else {
                opened.refusal = std::move(read.error);
            }
            return false; // the text is in, or there is none
        });
    if (!opened.document)
        opened.text = std::move(text);
    return opened;
}
