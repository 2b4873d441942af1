#pragma once

#include "documents/document.h"

#include <QList>
#include <QString>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

// A file opened for the text box, whatever it is: a document (EPUB, PDF,
// DOCX, ODT, HTML, Markdown, FB2), recognised by its content and turned into
// its text, sections and language; anything else a text file, read and
// decoded as ReadTextFile does.
struct OpenedFile {
    std::optional<QString> text; // empty: not read (said in `refusal` for a document)
    QList<DocumentSection> sections;
    QString language;
    QString title; // as the document names itself, if it does
    QString author;
    QString refusal; // why a document cannot be opened, a sentence naming it
    bool document = false;
};

// Reads the file at `path`, called `fileName` in messages. `checkText` sees a
// text file's bytes before they are decoded and may refuse them; raising
// `stop` ends a document's reading early (no refusal then).
OpenedFile ReadFileToOpen(const std::filesystem::path &path, const QString &fileName,
                          const std::atomic<bool> *stop = nullptr,
                          const std::function<bool(std::string_view bytes)> &checkText = {});
