// Drives the real speech control from standard input, one command a line:
//   speak TEXT | speaklong | stop | quit
// and answers each with "ok" or "error DESCRIPTION".
#include "speech/face/speechcontrol.h"
#include "speech/face/speechcontrolfactory.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    std::unique_ptr<SpeechControl> control = CreateSpeechControl(nullptr);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    auto answer = [](const SpeechStatus &status) {
        std::printf("%s\n", status.ok() ? "ok" : ("error " + status.error.toUtf8()).constData());
        std::fflush(stdout);
    };
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buf, n);
        for (qsizetype eol; (eol = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(eol));
            pending.remove(0, eol + 1);
            if (line.startsWith(QLatin1String("speak ")))
                answer(control->Speak(line.mid(6)));
            else if (line == QLatin1String("speaklong"))
                answer(control->Speak(
                    QStringLiteral("This sentence goes on and on, for as long as it is read. ")
                        .repeated(200)));
            else if (line == QLatin1String("stop"))
                answer(control->StopSpeaking());
            else if (line == QLatin1String("quit"))
                app.quit();
            else
                answer(SpeechStatus::Failed(QStringLiteral("unknown command")));
        }
    });
    const int code = app.exec();
    control.reset(); // ends speech under way
    return code;
}
