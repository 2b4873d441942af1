#include "voicenames.h"

VoiceNameParts SplitVoiceName(const QString &name) {
    QString clean = name;
    // Some voice files carry a comment after the name.
    if (const qsizetype comment = clean.indexOf(QLatin1String(" //")); comment >= 0)
        clean.truncate(comment);
    clean.replace(u'_', u' ');
    clean = clean.simplified();
    const qsizetype open = clean.indexOf(QLatin1String(" ("));
    if (open > 0 && clean.endsWith(u')')) {
        const QString variant = clean.mid(open + 2, clean.size() - open - 3).trimmed();
        if (!variant.isEmpty())
            return {clean.left(open), variant};
    }
    return {clean, QString()};
}
