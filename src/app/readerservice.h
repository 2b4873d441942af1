#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The voice of a running editor, offered to the other programs of the
// session (on D-Bus: org.zavren.Speech at /org/zavren/Speech, methods Say(s),
// Stop, Pause and Resume). Where the platform has no such bus, there is none.
class ReaderService {
public:
    struct Handlers {
        std::function<QString(const QString &text)> say; // empty, or why it failed
        std::function<void()> stop;
        std::function<void()> pause;
        std::function<void()> resume;
    };

    // Offers the handlers under the service's name; null when there is no
    // session bus or another program holds the name (`why` says which).
    static std::unique_ptr<ReaderService> Offer(Handlers handlers, QString *why = nullptr);
    virtual ~ReaderService() = default;

    enum class Call { Say, Stop, Pause, Resume };
    // Has the running editor (or speaker) do `call`: empty when it did, why
    // not when it answered with a failure, nullopt when none is running.
    static std::optional<QString> Ask(Call call, const QString &text = {});

    static const char kName[];
    static const char kPath[];
    static const char kInterface[];

protected:
    ReaderService() = default;
};
