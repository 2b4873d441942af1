// EPUB 2 and 3: the container names the package; the package's spine gives
// the reading order; the navigation document (EPUB 3) or the NCX (EPUB 2)
// gives the titles of the sections.
#include "documents/documenterror.h"
#include "documents/markupdocument.h"
#include "documents/readers.h"
#include "documents/textflow.h"
#include "documents/ziparchive.h"

#include <QDir>
#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>
#include <vector>

namespace {

struct Item {
    QString path; // inside the archive
    QString mediaType;
    QString properties;
};

struct Target {
    QString path;
    QString fragment; // empty: the part's start
    QString title;
    int level = 1;
};

// Where `href` (relative to the part at `from`) leads inside the archive,
// and its fragment.
std::pair<QString, QString> Resolve(const QString &from, const QString &href) {
    const qsizetype hash = href.indexOf(u'#');
    const QString file =
        QUrl::fromPercentEncoding(href.left(hash < 0 ? href.size() : hash).toUtf8());
    const QString fragment =
        hash < 0 ? QString() : QUrl::fromPercentEncoding(href.mid(hash + 1).toUtf8());
    if (file.isEmpty())
        return {from, fragment};
    const qsizetype slash = from.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : from.left(slash + 1);
    QString path = QDir::cleanPath(folder + file);
    while (path.startsWith(QLatin1String("../")))
        path.remove(0, 3);
    if (path.startsWith(u'/'))
        path.remove(0, 1);
    return {path, fragment};
}

QXmlStreamReader &Reader(QXmlStreamReader &reader, HtmlEntities &entities) {
    reader.setEntityResolver(&entities);
    return reader;
}

// Content encrypted other than by the font obfuscation every reader undoes.
bool Encrypted(ZipArchive &zip) {
    if (zip.Has(QStringLiteral("META-INF/rights.xml")))
        return true;
    const QString name = QStringLiteral("META-INF/encryption.xml");
    if (!zip.Has(name))
        return false;
    QXmlStreamReader reader(zip.Read(name));
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("EncryptionMethod")) {
            const QStringView algorithm = reader.attributes().value(QLatin1String("Algorithm"));
            if (algorithm != QLatin1String("http://www.idpf.org/2008/embedding") &&
                algorithm != QLatin1String("http://ns.adobe.com/pdf/enc#RC"))
                return true;
        }
    }
    ThrowIfMalformed(reader, name);
    return false;
}

QString PackagePath(ZipArchive &zip) {
    const QString name = QStringLiteral("META-INF/container.xml");
    QXmlStreamReader reader(zip.Read(name));
    QString path;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("rootfile") && path.isEmpty()) {
            const QXmlStreamAttributes a = reader.attributes();
            const QStringView type = a.value(QLatin1String("media-type"));
            if (type.isEmpty() || type == QLatin1String("application/oebps-package+xml"))
                path = a.value(QLatin1String("full-path")).toString();
        }
    }
    ThrowIfMalformed(reader, name);
    if (path.isEmpty())
        throw DocumentError{QStringLiteral("it is an incomplete book: it names no package.")};
    return path;
}

struct Package {
    QHash<QString, Item> items; // by id
    QStringList spine;          // item ids, linear ones only
    QString ncxId;
    QString language;
    QString title;  // the first dc:title
    QString author; // the first dc:creator
};

Package ReadPackage(ZipArchive &zip, const QString &path) {
    Package package;
    QXmlStreamReader reader(zip.Read(path));
    bool inLanguage = false;
    QString *named = nullptr; // the title or author whose text comes next
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            const QXmlStreamAttributes a = reader.attributes();
            if (name == QLatin1String("package")) {
                package.language = a.value(QLatin1String("xml:lang")).toString();
            } else if (name == QLatin1String("language")) {
                inLanguage = true;
            } else if (reader.namespaceUri() == QLatin1String("http://purl.org/dc/elements/1.1/") &&
                       (name == QLatin1String("title") || name == QLatin1String("creator"))) {
                QString &field = name == QLatin1String("title") ? package.title : package.author;
                named = field.isEmpty() ? &field : nullptr;
            } else if (name == QLatin1String("item")) {
                Item item;
                item.path = Resolve(path, a.value(QLatin1String("href")).toString()).first;
                item.mediaType = a.value(QLatin1String("media-type")).toString();
                item.properties = a.value(QLatin1String("properties")).toString();
                package.items.insert(a.value(QLatin1String("id")).toString(), item);
            } else if (name == QLatin1String("spine")) {
                package.ncxId = a.value(QLatin1String("toc")).toString();
            } else if (name == QLatin1String("itemref")) {
                if (a.value(QLatin1String("linear")) != QLatin1String("no"))
                    package.spine.append(a.value(QLatin1String("idref")).toString());
            }
        } else if (token == QXmlStreamReader::Characters && inLanguage) {
            // dc:language says it for the book; it wins over xml:lang
            const QString language = reader.text().trimmed().toString();
            if (!language.isEmpty() && TidyLanguage(language).size())
                package.language = language;
            inLanguage = false;
        } else if (token == QXmlStreamReader::Characters && named) {
            *named += reader.text();
        } else if (token == QXmlStreamReader::EndElement) {
            inLanguage = false;
            if (named)
                *named = named->simplified();
            named = nullptr;
        }
    }
    ThrowIfMalformed(reader, path);
    return package;
}

// The navigation document's table of contents (nav epub:type="toc").
std::vector<Target> ReadNav(ZipArchive &zip, const QString &path) {
    std::vector<Target> targets;
    QXmlStreamReader reader(zip.Read(path));
    HtmlEntities entities;
    Reader(reader, entities);
    int navDepth = 0; // inside the toc nav
    int listDepth = 0;
    bool inLink = false;
    Target current;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            if (navDepth > 0) {
                ++navDepth;
                if (name == QLatin1String("ol"))
                    ++listDepth;
                else if (name == QLatin1String("a")) {
                    inLink = true;
                    const auto [file, fragment] =
                        Resolve(path, reader.attributes().value(QLatin1String("href")).toString());
                    current = Target{file, fragment, QString(), std::max(listDepth, 1)};
                }
            } else if (name == QLatin1String("nav")) {
                const QString type =
                    reader.attributes()
                        .value(QLatin1String("http://www.idpf.org/2007/ops"), QLatin1String("type"))
                        .toString();
                if (type.split(u' ').contains(QLatin1String("toc")))
                    navDepth = 1;
            }
        } else if (token == QXmlStreamReader::EndElement && navDepth > 0) {
            --navDepth;
            const QStringView name = reader.name();
            if (name == QLatin1String("ol"))
                --listDepth;
            else if (name == QLatin1String("a") && inLink) {
                inLink = false;
                current.title = current.title.simplified();
                targets.push_back(current);
            }
        } else if ((token == QXmlStreamReader::Characters ||
                    token == QXmlStreamReader::EntityReference) &&
                   inLink) {
            current.title += token == QXmlStreamReader::Characters
                                 ? reader.text().toString()
                                 : entities.resolveUndeclaredEntity(reader.name().toString());
        }
    }
    ThrowIfMalformed(reader, path);
    return targets;
}

// The NCX's navigation map (EPUB 2).
std::vector<Target> ReadNcx(ZipArchive &zip, const QString &path) {
    std::vector<Target> targets;
    QXmlStreamReader reader(zip.Read(path));
    int depth = 0;
    bool inLabel = false;
    std::vector<qsizetype> open; // the targets of the navPoints still open
    QString label;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            if (name == QLatin1String("navPoint")) {
                ++depth;
                targets.push_back(Target{QString(), QString(), QString(), depth});
                open.push_back(qsizetype(targets.size()) - 1);
            } else if (name == QLatin1String("text") && !open.empty() &&
                       targets[std::size_t(open.back())].title.isEmpty()) {
                inLabel = true;
            } else if (name == QLatin1String("content") && !open.empty()) {
                Target &target = targets[std::size_t(open.back())];
                const auto [file, fragment] =
                    Resolve(path, reader.attributes().value(QLatin1String("src")).toString());
                target.path = file;
                target.fragment = fragment;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (reader.name() == QLatin1String("navPoint")) {
                --depth;
                open.pop_back();
            } else if (reader.name() == QLatin1String("text")) {
                inLabel = false;
            }
        } else if (token == QXmlStreamReader::Characters && inLabel && !open.empty()) {
            targets[std::size_t(open.back())].title += reader.text().toString();
        }
    }
    ThrowIfMalformed(reader, path);
    for (Target &t : targets)
        t.title = t.title.simplified();
    return targets;
}

bool IsXhtml(const Item &item) {
    return item.mediaType == QLatin1String("application/xhtml+xml") ||
           item.mediaType == QLatin1String("text/html") ||
           item.mediaType == QLatin1String("application/xml");
}

} // namespace

Document ReadEpub(ZipArchive &zip, const std::atomic<bool> *stop) {
    if (Encrypted(zip))
        throw DocumentError{QStringLiteral(
            "the book is protected by DRM: its text is encrypted, and only the reading program "
            "it was sold for can open it.")};
    const QString packagePath = PackagePath(zip);
    const Package package = ReadPackage(zip, packagePath);

    std::vector<Target> targets;
    QString navPath;
    for (const Item &item : package.items)
        if (item.properties.split(u' ').contains(QLatin1String("nav")))
            navPath = item.path;
    if (!navPath.isEmpty() && zip.Has(navPath))
        targets = ReadNav(zip, navPath);
    if (targets.empty() && package.items.contains(package.ncxId) &&
        zip.Has(package.items.value(package.ncxId).path))
        targets = ReadNcx(zip, package.items.value(package.ncxId).path);

    // Without a table of contents the parts' own headings are the sections.
    TextFlow flow(targets.empty());
    flow.SetLanguage(package.language);
    // The titles wanted in each part: at its start, and at the ids named.
    QHash<QString, std::vector<const Target *>> starts;
    QHash<QString, QHash<QString, std::vector<const Target *>>> anchors;
    for (const Target &t : targets) {
        if (t.title.isEmpty())
            continue;
        if (t.fragment.isEmpty())
            starts[t.path].push_back(&t);
        else
            anchors[t.path][t.fragment].push_back(&t);
    }
    for (const QString &id : package.spine) {
        ThrowIfStopped(stop);
        const auto found = package.items.constFind(id);
        if (found == package.items.cend())
            continue;
        const Item &item = *found;
        if (!IsXhtml(item) || item.path == navPath)
            continue;
        for (const Target *t : starts.value(item.path))
            flow.Mark(t->title, t->level);
        const QHash<QString, std::vector<const Target *>> ids = anchors.value(item.path);
        ReadXhtmlInto(flow, zip.Read(item.path), item.path, [&](const QString &anchor) {
            for (const Target *t : ids.value(anchor))
                flow.Mark(t->title, t->level);
        });
        flow.EndBlock();
    }
    Document document = flow.Finish();
    document.title = package.title;
    document.author = package.author;
    return document;
}
