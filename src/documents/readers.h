#pragma once

#include "documents/document.h"

#include <QByteArray>
#include <atomic>
#include <string_view>

class ZipArchive;

// The readers of each format. Each throws DocumentError for a document it
// cannot read and DocumentCancelled once `stop` is raised.
Document ReadPdf(std::string_view bytes, const std::atomic<bool> *stop);
Document ReadEpub(ZipArchive &zip, const std::atomic<bool> *stop);
Document ReadDocx(ZipArchive &zip);
Document ReadOdt(ZipArchive &zip);
Document ReadFb2(const QByteArray &xml, const std::atomic<bool> *stop);
Document ReadHtml(std::string_view bytes);
Document ReadMarkdown(std::string_view bytes);

inline void ThrowIfStopped(const std::atomic<bool> *stop);
