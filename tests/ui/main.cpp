#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unistd.h>

std::map<std::string, UiTestFactory>& UiTests() {
    static std::map<std::string, UiTestFactory> tests;
    return tests;
}

namespace {

// Runs `act` on the next modal message box once it shows.
void OnNextMessageBox(std::function<void(QMessageBox*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        act(box);
    });
    poll->start(20);
}

}  // namespace

void AnswerNextMessageBox(const QString& button, QString* seen) {
    OnNextMessageBox([button, seen](QMessageBox* box) {
        if (seen) *seen = box->text();
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : box->buttons())
            if (button.isEmpty() || b->text() == button) {
                chosen = b;
                break;
            }
        if (chosen) chosen->click();
    });
}

void KeyOnNextMessageBox(int key, QString* seen) {
    OnNextMessageBox([key, seen](QMessageBox* box) {
        if (seen) *seen = box->text();
        QTest::keyClick(box, static_cast<Qt::Key>(key));
    });
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QTest::qWait(20);
    }
    return true;
}

int main(int argc, char** argv) {
    // Each run keeps its settings, caches and data in a folder of its own.
    char base[] = "/tmp/torvane-ui-test-XXXXXX";
    if (!mkdtemp(base)) return 1;
    const std::string home = base;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        setenv(name, (home + "/" + name).c_str(), 1);
    setenv("TORVANE_NO_ANALYTICS", "1", 1);
    int status = 0;
    {
        QApplication app(argc, argv);
        if (argc < 2 || !UiTests().count(argv[1])) {
            std::cerr << "Usage: test_ui CASE [Qt Test options]; cases:";
            for (const auto& [name, factory] : UiTests()) std::cerr << ' ' << name;
            std::cerr << '\n';
            return 2;
        }
        QObject* test = UiTests()[argv[1]]();
        argv[1] = argv[0];
        status = QTest::qExec(test, argc - 1, argv + 1);
        delete test;
    }
    std::error_code error;
    std::filesystem::remove_all(home, error);
    return status;
}
