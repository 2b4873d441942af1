#include "readerservice.h"

const char ReaderService::kName[] = "org.zavren.Speech";
const char ReaderService::kPath[] = "/org/zavren/Speech";
const char ReaderService::kInterface[] = "org.zavren.Speech";

// Windows has no session bus: each command speaks by itself.
std::unique_ptr<ReaderService> ReaderService::Offer(Handlers, QString *why) {
    if (why)
        *why = QStringLiteral("there is no session bus on this system");
    return nullptr;
}

std::optional<QString> ReaderService::Ask(Call, const QString &) {
    return std::nullopt;
}
