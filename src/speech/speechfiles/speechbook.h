#pragma once

#include "documents/document.h"
#include "speech/speechfiles/speechfilewriter.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <filesystem>
#include <functional>
#include <vector>

// A book cut into the parts it is written as, one audio file each.
struct SpeechPart {
    QString title;
    QString text;
};

// One part per section of the shallowest level the text has (its chapters).
// Words before the first section make a part of their own, called
// `wholeTitle`; a text without sections is one part of that name.
std::vector<SpeechPart> SplitAtSections(const QString &text, const QList<DocumentSection> &sections,
                                        const QString &wholeTitle);
// A part starts at every line that `pattern` matches, titled by that line.
std::vector<SpeechPart> SplitAtPattern(const QString &text, const QRegularExpression &pattern,
                                       const QString &wholeTitle);

// A part starts at each of `lines` (numbered from 1), titled by that line.
std::vector<SpeechPart> SplitAtLines(const QString &text, const QList<int> &lines,
                                     const QString &wholeTitle);

// "07 - The Storm.ogg": the part's number, as wide as the count needs (two
// digits at least), and its title made fit for a file name.
QString PartFileName(int number, int count, const QString &title, const QString &extension);

// The book as one file with a chapter mark at each part: `book`'s text
// becomes the parts' words, in order, and its chapters their titles.
void MarkChapters(SpeechFileJob &book, const std::vector<SpeechPart> &parts);

// The parts of a book, each written as `part` says (voice, pitch, speed,
// subtitles, tags for the book), in `folder`: created when missing, refused
// when it holds anything unless `part.overwrite`. All or nothing: the parts
// are written under a hidden folder inside it and moved into place only when
// every one is whole. Each part is tagged with its title and number, the
// book's title (`part.tags.title`) as album unless `part.tags.album` names one,
// and `part.tags.artist`. `progress` counts over the whole book. Returns an
// empty string on success, otherwise what went wrong, naming the part.
QString WriteSpeechParts(const SpeechFileJob &part, const std::filesystem::path &folder,
                         const QString &extension, const std::vector<SpeechPart> &parts,
                         const std::function<bool(const SpeechFileProgress &)> &progress = {});
