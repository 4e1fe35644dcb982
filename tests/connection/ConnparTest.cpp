// The connection dialog: what it shows, what it refuses and with which message, and
// what a connect or a baud-rate search leaves behind, against zantir-sim on a pty.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "app/Question.h"
#include "app/Suplfunc.h"
#include "config/Codepage.h"
#include "connection/Connpar.h"
#include "connection/Deviceconnection.h"
#include "link/Conffun.h"
#include "link/Plcbox.h"
#include "link/Programdir.h"
#include "tests/support/Fakeports.h"
#include "tests/support/Fakes.h"
#include "tests/support/Filetesting.h"
#include "tests/support/Guitesting.h"
#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;

struct Shown {
    QString caption, first, second;
    bool operator==(const Shown&) const = default;
};

char* toString(const Shown& shown) {
    return QTest::toString(shown.caption + " | " + shown.first + " | " + shown.second);
}

const QSize FormSize(580, 496);  // with the frame
const QString InputError = "Ошибка ввода параметров";
const QString Error = "Ошибка";
const QString ExchangeResult = "Результат обмена с устройством";
const QString NotAllEntered = "Введены не все параметры";
const QString OutOfRange = "Параметр вне допустимого диапазона";
const QString NotANumber = "Значение должно быть целым числом";
const QString NoHost = "Не задан адрес узла";
const QString TcpPortOutOfRange = "Порт TCP вне диапазона (1...65535)";

// Acknowledges every message dialog the code under test opens and keeps what it said.
class MessageLog {
public:
    MessageLog() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    std::vector<Shown> shown;
    // The last message, or an empty one.
    Shown Last() const { return shown.empty() ? Shown{} : shown.back(); }

private:
    void Poll() {
        auto* dialog = qobject_cast<TFormQues*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            return;
        }
        shown.push_back({dialog->windowTitle(), dialog->Label1->text(), dialog->Label2->text()});
        dialog->BitBtn3->click();
    }
    QTimer timer_;
};

// The main window's screen as the dialog meets it: panel texts recorded, messages in
// the message dialog.
class MainScreen final : public Screen {
public:
    explicit MainScreen(RecordingScreen& record) : record_(record) {}
    void SetPanelText(int panel, const std::string& text) override {
        record_.SetPanelText(panel, text);
    }
    void ProcessMessages() override { QCoreApplication::processEvents(); }
    void SetProgressMaximum(int) override {}
    void StepProgress() override {}
    void FillProgress() override {}
    bool ShowMessage(int kind, const std::string& first, const std::string& second) override {
        MessageKind = kind;
        ShowMessageDialog(first, second);
        return QuestionAnswer == 1;
    }
    bool EscapePressed() override { return false; }

private:
    RecordingScreen& record_;
};

// What the operator's choice in a list does: the entry changes and the list reports it.
void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

// Replaces an edit's text through the clipboard, as the operator's paste does.
void Paste(QLineEdit* edit, const QString& text) {
    QApplication::clipboard()->setText(text);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
}

// Types text key by key, Cyrillic and other non-Latin characters too.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const Qt::Key key =
            c.unicode() < 128 ? QTest::asciiToKey(char(c.unicode())) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, key, QString(c), Qt::NoModifier);
    }
}

// Replaces an edit's text through the keyboard.
void Retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    Type(edit, text);
}

bool SameBytes(const ConnectionSettings& a, const ConnectionSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Settings whose every byte is known, the reserved ones included.
ConnectionSettings KnownSettings() {
    ConnectionSettings s;
    s.Reserved1 = 0x5A;
    s.Reserved2 = 0xA5;
    s.Reserved3 = 0x3C;
    s.PortNumber = 1;
    s.BaudRate = 1200;
    SetFieldText(s.ModemCommand, sizeof s.ModemCommand, "ATZ^ATE0");
    SetFieldText(s.CountryCode, sizeof s.CountryCode, "7");
    SetFieldText(s.CityCode, sizeof s.CityCode, "495");
    SetFieldText(s.PhoneNumber, sizeof s.PhoneNumber, "5551234");
    s.ConnectWait = 60;
    s.ConnectAttempts = 3;
    return s;
}

// A network link's settings whose every field differs from the defaults.
NetworkSettings KnownNetwork() {
    return {"10.0.0.7", 4002, false, false};
}

// A TCP port on the loopback that takes connections into its backlog and says nothing.
class Listener {
public:
    Listener() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (socket_ >= 0 && ::bind(socket_, any, length) == 0 && ::listen(socket_, 4) == 0 &&
            ::getsockname(socket_, any, &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~Listener() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    uint16_t Port() const { return port_; }

private:
    int socket_;
    uint16_t port_ = 0;
};

}  // namespace

class ConnparTest : public QObject {
    Q_OBJECT

    fs::path directory;
    ConnectionSettings settings;
    NetworkSettings network;
    std::unique_ptr<LinkEngine> engine;
    ConfigImage image;
    std::unique_ptr<RecordingScreen> mainScreen;
    std::unique_ptr<MainScreen> screen;
    std::unique_ptr<DeviceConnection> device;
    std::unique_ptr<MessageLog> messages;
    std::unique_ptr<TFormConnPar> dialog;
    std::unique_ptr<FakePortTree> machine;  // the serial ports the dialog finds

    // The program's directory, where PORTS/COM1 can be made to lead anywhere.
    fs::path Ports() const { return directory / "PORTS"; }

    TFormConnPar& Show() {
        dialog = std::make_unique<TFormConnPar>(settings, network, *device, *screen);
        dialog->Roots = machine->roots;
        dialog->User = PortUser{};
        dialog->show();
        return *dialog;
    }

    // COM1 leads to a file that is no serial line, so every open fails.
    void BlockCom1() {
        std::ofstream(Ports() / "not-a-tty") << "x";
        fs::create_symlink(Ports() / "not-a-tty", Ports() / "COM1");
    }

    std::unique_ptr<SimProcess> StartSim(std::vector<std::string> options) {
        auto sim = std::make_unique<SimProcess>(Ports().string(), std::move(options));
        return sim->ok() ? std::move(sim) : nullptr;
    }

    // The status texts a search shows, and whether the buttons and the cursor were as
    // they must be each time.
    struct SearchTrace {
        QStringList texts;
        bool buttonsDisabled = true;
        bool hourglass = true;
    };
    void Trace(SearchTrace& trace) {
        connect(dialog->StatusBar1, &QStatusBar::messageChanged, dialog.get(),
                [this, &trace](const QString& text) {
                    if (text.isEmpty()) {
                        return;
                    }
                    trace.texts << text;
                    trace.buttonsDisabled =
                        trace.buttonsDisabled && !dialog->BitBtn1->isEnabled() &&
                        !dialog->BitBtn2->isEnabled() && !dialog->BitBtn4->isEnabled();
                    const QCursor* cursor = QApplication::overrideCursor();
                    trace.hourglass =
                        trace.hourglass && cursor && cursor->shape() == Qt::WaitCursor;
                });
    }

private slots:
    void init() {
        char pattern[] = "/tmp/zantir-connpar-XXXXXX";
        directory = mkdtemp(pattern);
        fs::create_directory(Ports());
        SetProgramDirectory(directory.string());
        settings = KnownSettings();
        network = KnownNetwork();
        engine = std::make_unique<LinkEngine>(0);
        mainScreen = std::make_unique<RecordingScreen>(SystemClock());
        screen = std::make_unique<MainScreen>(*mainScreen);
        device = std::make_unique<DeviceConnection>(*engine, image, settings, *screen);
        messages = std::make_unique<MessageLog>();
        machine = std::make_unique<FakePortTree>();
        MessageKind = 0;
    }

    void cleanup() {
        dialog.reset();
        device.reset();
        engine.reset();
        messages.reset();
        machine.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    void showsTheSettingsAndRefusesWhatNoListHolds() {
        settings.PortNumber = 3;
        settings.BaudRate = 1200;
        settings.ExchangeAttempts = 4;
        settings.FirstByteTimeout = 7;
        settings.NextByteTimeout = 250;
        settings.RequestPreambles = 5;
        settings.RtsPause = 40;
        TFormConnPar& d = Show();
        QCOMPARE(d.windowTitle(), QString("Параметры связи с ЗАНТИРом"));
        QTRY_COMPARE(d.frameGeometry().size(), FormSize);
        QVERIFY(CaptionHasRoom(d));
        QCOMPARE(d.ComboBox1->currentText(), QString("COM3 — не назначен"));
        QCOMPARE(d.ComboBox2->currentText(), QString("1200"));
        QCOMPARE(d.ComboBox3->currentText(), QString(" 4"));
        QCOMPARE(d.ComboBox4->currentText(), QString("Непосредственная связь"));
        QCOMPARE(d.ComboBox4->count(), 3);
        QCOMPARE(d.ComboBox4->itemText(2), QString("Сеть (TCP/IP)"));
        QCOMPARE(d.Edit11->text(), QString("10.0.0.7"));
        QCOMPARE(d.Edit12->text(), QString("4002"));
        QCOMPARE(d.Edit12->maxLength(), 5);
        QCOMPARE(d.Edit1->text(), QString("7"));
        QCOMPARE(d.Edit2->text(), QString("250"));
        QCOMPARE(d.Edit3->text(), QString("5"));
        QCOMPARE(d.Edit4->text(), QString("40"));
        QCOMPARE(d.ComboBox2->count(), 22);
        QCOMPARE(d.ComboBox2->itemText(0), QString("300"));
        QCOMPARE(d.ComboBox2->itemText(21), QString("230400"));
        const std::vector<std::pair<QLineEdit*, int>> limits = {
            {d.Edit1, 3}, {d.Edit2, 4},  {d.Edit3, 3},  {d.Edit4, 4},  {d.Edit5, 200},
            {d.Edit6, 3}, {d.Edit10, 3}, {d.Edit7, 10}, {d.Edit8, 10}, {d.Edit9, 34}};
        for (const auto& [edit, length] : limits) {
            QCOMPARE(edit->maxLength(), length);
        }
        d.close();

        // Values that no list holds show no selection, and nothing connects with them.
        const ConnectionSettings before = settings = KnownSettings();
        settings.BaudRate = 1000;
        const ConnectionSettings odd = settings;
        Show();
        QCOMPARE(dialog->ComboBox2->currentIndex(), -1);
        dialog->BitBtn1->click();
        QCOMPARE(messages->shown.size(), size_t{1});
        QCOMPARE(messages->Last(), (Shown{InputError, NotAllEntered, ""}));
        QVERIFY(dialog->isVisible());
        QVERIFY(!device->Port());
        QVERIFY(SameBytes(settings, odd));
        dialog->close();

        settings = before;
        settings.PortNumber = 9;
        settings.ExchangeAttempts = 0;
        settings.LinkType = 3;
        Show();
        QCOMPARE(dialog->ComboBox1->currentIndex(), -1);
        QCOMPARE(dialog->ComboBox3->currentIndex(), -1);
        QCOMPARE(dialog->ComboBox4->currentIndex(), -1);
        QVERIFY(dialog->BitBtn4->isEnabled());  // no selection counts as a direct link
        QVERIFY(!dialog->Edit9->isEnabled());
        dialog->BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, NotAllEntered, ""}));
        QVERIFY(!device->Port());
    }

    void listsWherePortsLeadAndBindsAFoundAdapter() {
        machine->AcmDevice("ttyACM0", "1-2", "Arduino Uno");
        machine->UsbAdapter("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "ftdi_sio",
                            "usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0");
        fs::create_symlink(machine->Dev("ttyACM0"), Ports() / "COM1");
        fs::create_symlink(Ports() / "unplugged", Ports() / "COM2");
        settings.PortNumber = 1;
        TFormConnPar& d = Show();
        const QString dev = QString::fromStdString(machine->roots.Dev);
        QCOMPARE(d.ComboBox1->currentText(), "COM1 — " + dev + "/ttyACM0, Arduino Uno");
        QCOMPARE(d.ComboBox1->itemText(1),
                 "COM2 — " + QString::fromStdString((Ports() / "unplugged").string()) +
                     ", не подключён");
        QCOMPARE(d.ComboBox1->itemText(2), QString("COM3 — не назначен"));
        QCOMPARE(d.ComboBox1->count(), 8 + 1 + 1);  // a separator, then the adapter
        QCOMPARE(d.ComboBox1->itemText(9), dev + "/ttyUSB0, FT232R USB UART — назначить COM3");

        // The list is looked at again when it opens: an adapter plugged in meanwhile is there.
        machine->UsbAdapter("ttyUSB1", "1-3", "1a86", "7523", "", "ch341");
        d.ComboBox1->showPopup();
        d.ComboBox1->hidePopup();
        QCOMPARE(d.ComboBox1->count(), 8 + 1 + 2);

        d.ComboBox1->setCurrentIndex(9);
        emit d.ComboBox1->activated(9);
        QCOMPARE(fs::read_symlink(Ports() / "COM3"),
                 machine->Dev("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0"));
        QCOMPARE(d.ComboBox1->currentText(), "COM3 — " + dev + "/ttyUSB0, FT232R USB UART");
        QCOMPARE(d.WorkingCopy().PortNumber, 3);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel).back(),
                 std::string(" COM3,   1200 бит/с"));
        QCOMPARE(d.ComboBox1->count(), 8 + 1 + 1);
        QVERIFY(messages->shown.empty());

        // Where PORTS cannot be written, the operator is told and COM3 stays chosen.
        filetesting::ReadOnlyDir locked(Ports());
        if (!locked.Writable()) {
            d.ComboBox1->setCurrentIndex(9);
            emit d.ComboBox1->activated(9);
            QCOMPARE(messages->shown.size(), size_t{1});
            QCOMPARE(messages->Last().first, "Порт " + dev + "/ttyUSB1 не назначен COM4");
            QCOMPARE(d.ComboBox1->currentIndex(), 2);
            QCOMPARE(d.WorkingCopy().PortNumber, 3);
        }
    }

    // With the network link chosen, its note shown too: every text has its room, and no
    // field lies over another.
    void everyCaptionFitsTheFixedSize() {
        TFormConnPar& d = Show();
        Choose(d.ComboBox4, 2);
        d.layout()->activate();
        QVERIFY(d.minimumSizeHint().width() <= FormSize.width());
        QVERIFY(d.minimumSizeHint().height() <= FormSize.height());
        const auto name = [](const QWidget* widget) {
            return QString(widget->metaObject()->className()) + " " +
                   widget->property("text").toString();
        };
        std::vector<QWidget*> fields;
        for (QWidget* widget : d.findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QPushButton*>(widget) ||
                qobject_cast<QComboBox*>(widget) || qobject_cast<QCheckBox*>(widget)) {
                const QSize needed = widget->sizeHint();
                QVERIFY2(needed.width() <= widget->width() && needed.height() <= widget->height(),
                         qPrintable(name(widget)));
            }
            if (widget->isVisible() &&
                (qobject_cast<QFrame*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                 qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget))) {
                fields.push_back(widget);
            }
        }
        for (const QWidget* a : fields) {
            for (const QWidget* b : fields) {
                QVERIFY2(a == b || a->parentWidget() != b->parentWidget() ||
                             !a->geometry().intersects(b->geometry()),
                         qPrintable(name(a) + " over " + name(b)));
            }
        }
    }

    void commonValuesAreCheckedInOrderAgainstTheirRanges() {
        BlockCom1();  // a value that passes every check reaches the port and stops there
        const Shown portRefused{Error, "Коммуникационный порт COM1 недоступен",
                                "не является последовательным портом"};
        const Shown nextByte{InputError, "Время ожидания следующих байтов ответа", OutOfRange};
        const Shown rtsPause{InputError, "Пауза после установки RTS", OutOfRange};
        struct Case {
            QLineEdit* TFormConnPar::*edit;
            QString text;
            Shown expected;
        };
        const std::vector<Case> cases = {
            {&TFormConnPar::Edit2, "54", nextByte},
            {&TFormConnPar::Edit2, "5001", nextByte},
            {&TFormConnPar::Edit2, "55", portRefused},
            {&TFormConnPar::Edit2, "5000", portRefused},
            {&TFormConnPar::Edit4, "1", rtsPause},
            {&TFormConnPar::Edit4, "2", portRefused},
            {&TFormConnPar::Edit4, "1000", portRefused},
            {&TFormConnPar::Edit1,
             "0",
             {InputError, "Время ожидания первого байта ответа", OutOfRange}},
            {&TFormConnPar::Edit1,
             "121",
             {InputError, "Время ожидания первого байта ответа", OutOfRange}},
            {&TFormConnPar::Edit1, "120", portRefused},
            {&TFormConnPar::Edit3,
             "256",
             {InputError, "Количество преамбул в запросе", OutOfRange}},
            {&TFormConnPar::Edit3, "0", portRefused},
        };
        Show();
        for (const Case& c : cases) {
            Retype(dialog.get()->*c.edit, c.text);
            const size_t before = messages->shown.size();
            dialog->BitBtn1->click();
            QCOMPARE(messages->shown.size(), before + 1);
            QCOMPARE(messages->Last(), c.expected);
            QVERIFY(dialog->isVisible());
            QVERIFY(!device->Port());
            QVERIFY(!engine->Port);
        }
        // The first value out of range is the one reported.
        Retype(dialog->Edit1, "0");
        Retype(dialog->Edit2, "54");
        dialog->BitBtn1->click();
        QCOMPARE(messages->Last().first, QString("Время ожидания первого байта ответа"));
        // An empty edit is missing, not out of range.
        Retype(dialog->Edit3, "");
        dialog->BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, NotAllEntered, ""}));
        QVERIFY(SameBytes(settings, KnownSettings()));
    }

    void numberEditsTakeOnlyDigitsAndBackspace() {
        settings.LinkType = 1;  // the telephone edits take keys only while enabled
        TFormConnPar& d = Show();
        for (QLineEdit* edit : {d.Edit1, d.Edit2, d.Edit3, d.Edit4, d.Edit6, d.Edit10}) {
            edit->clear();
            Type(edit, "7a.Ж,- 8");
            QCOMPARE(edit->text(), QString("78"));
            QTest::keyClick(edit, Qt::Key_Backspace);
            QCOMPARE(edit->text(), QString("7"));
        }
        d.Edit1->clear();
        Type(d.Edit1, "1234");
        QCOMPARE(d.Edit1->text(), QString("123"));
        // Text edits are not filtered.
        Retype(d.Edit9, "8 (495) 555-12-34");
        QCOMPARE(d.Edit9->text(), QString("8 (495) 555-12-34"));
    }

    void pastedTextThatIsNoNumberIsRefused() {
        BlockCom1();
        TFormConnPar& d = Show();
        Paste(d.Edit1, "1e2");
        QCOMPARE(d.Edit1->text(), QString("1e2"));  // the paste got through the key filter
        d.BitBtn1->click();
        QCOMPARE(messages->Last(),
                 (Shown{InputError, "Время ожидания первого байта ответа", NotANumber}));
        Paste(d.Edit1, "5");
        Paste(d.Edit3, "-5");
        d.BitBtn1->click();
        QCOMPARE(messages->Last(),
                 (Shown{InputError, "Количество преамбул в запросе", NotANumber}));
        // Blanks around a number are no reason to refuse it.
        Paste(d.Edit3, " 5 ");
        d.BitBtn1->click();
        QCOMPARE(messages->Last().caption, Error);
        QVERIFY(!device->Port());

        Choose(d.ComboBox4, 1);
        Paste(d.Edit6, "1.5");
        QCOMPARE(int32_t{d.WorkingCopy().ConnectWait}, 60);  // no number, nothing stored
        d.BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, "Ожидание соединения", NotANumber}));
        Paste(d.Edit6, "90");
        QCOMPARE(int32_t{d.WorkingCopy().ConnectWait}, 90);
        Paste(d.Edit10, "x");
        d.BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, "Кол. попыток соединения", NotANumber}));
        d.BitBtn2->click();
        QVERIFY(SameBytes(settings, KnownSettings()));
    }

    void textEditsRefuseCharactersWindows1251Lacks() {
        settings.LinkType = 1;
        TFormConnPar& d = Show();
        const Shown refused{InputError, "Символ «中» не может быть сохранён",
                            "Допустимы только символы кодировки Windows-1251"};
        Retype(d.Edit9, "12");
        Type(d.Edit9, "中");
        QCOMPARE(messages->Last(), refused);
        QCOMPARE(d.Edit9->text(), QString("12"));
        Paste(d.Edit9, "3中4");
        QCOMPARE(messages->shown.size(), size_t{2});
        QCOMPARE(d.Edit9->text(), QString("12"));
        QCOMPARE(FieldText(d.WorkingCopy().PhoneNumber, 35), std::string("12"));
        // Cyrillic and the other Windows-1251 characters are stored as its single bytes.
        Retype(d.Edit8, "Ж№");
        QCOMPARE(messages->shown.size(), size_t{2});
        QCOMPARE(d.WorkingCopy().CityCode[0], char(0xC6));
        QCOMPARE(d.WorkingCopy().CityCode[1], char(0xB9));
        QCOMPARE(d.WorkingCopy().CityCode[2], char(0));
        // A command that fills its whole field fits.
        Paste(d.Edit5, QString(200, u'A'));
        QCOMPARE(FieldText(d.WorkingCopy().ModemCommand, 200), std::string(200, 'A'));
    }

    void telephoneGroupFollowsTheLinkTypeAndKeepsItsTexts() {
        TFormConnPar& d = Show();
        const QList<QWidget*> group = {d.Edit5,   d.Edit6,   d.Edit7,   d.Edit8,   d.Edit9,
                                       d.Edit10,  d.Label9,  d.Label11, d.Label12, d.Label13,
                                       d.Label20, d.Label21, d.Label24, d.Label25, d.Label26};
        const QList<QLineEdit*> edits = {d.Edit5, d.Edit6, d.Edit7, d.Edit8, d.Edit9, d.Edit10};
        auto groupIs = [&](bool enabled) {
            const QColor colour = enabled ? QColor(254, 254, 254) : QColor(211, 211, 211);
            for (QWidget* widget : group) {
                if (widget->isEnabled() != enabled) {
                    return false;
                }
            }
            for (QLineEdit* edit : edits) {
                if (edit->palette().color(QPalette::Base) != colour) {
                    return false;
                }
            }
            return d.BitBtn4->isEnabled() == !enabled;
        };
        QVERIFY(groupIs(false));
        Choose(d.ComboBox4, 1);
        QVERIFY(groupIs(true));
        QCOMPARE(d.Edit5->text(), QString("ATZ^ATE0"));
        QCOMPARE(d.Edit6->text(), QString("60"));
        QCOMPARE(d.Edit10->text(), QString("3"));
        QCOMPARE(d.Edit7->text(), QString("7"));
        QCOMPARE(d.Edit8->text(), QString("495"));
        QCOMPARE(d.Edit9->text(), QString("5551234"));
        Retype(d.Edit9, "7654321");
        Choose(d.ComboBox4, 0);
        QVERIFY(groupIs(false));
        QCOMPARE(d.Edit9->text(), QString("7654321"));
        QCOMPARE(d.Edit5->text(), QString("ATZ^ATE0"));
        Choose(d.ComboBox4, 1);
        QCOMPARE(d.Edit9->text(), QString("7654321"));

        // Telephone values are checked only for a telephone connect.
        Retype(d.Edit9, "");
        d.BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, NotAllEntered, ""}));
        Retype(d.Edit9, "5551234");
        const Shown outOfRange{InputError, "Вводите значения", "согласно допустимого диапазона"};
        for (const char* wait : {"0", "361"}) {
            Retype(d.Edit6, wait);
            d.BitBtn1->click();
            QCOMPARE(messages->Last(), outOfRange);
        }
        Retype(d.Edit6, "360");
        for (const char* attempts : {"0", "11"}) {
            Retype(d.Edit10, attempts);
            d.BitBtn1->click();
            QCOMPARE(messages->Last(), outOfRange);
        }
        QVERIFY(!device->Port());
        d.BitBtn2->click();
        QVERIFY(!d.ConnectRequested);
        QVERIFY(SameBytes(settings, KnownSettings()));

        // A fresh telephone dialog with no number refuses at once.
        settings.LinkType = 0;
        SetFieldText(settings.PhoneNumber, sizeof settings.PhoneNumber, "");
        Show();
        Choose(dialog->ComboBox4, 1);
        dialog->BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{InputError, NotAllEntered, ""}));
    }

    void cancelLeavesTheSettingsButTheStatusBarFollowsEveryChoice() {
        const ConnectionSettings before = settings;
        TFormConnPar& d = Show();
        Choose(d.ComboBox1, 1);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel),
                 std::vector<std::string>{" COM2,   1200 бит/с"});
        Choose(d.ComboBox2, 11);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel).back(), " COM2,   9600 бит/с");
        Choose(d.ComboBox3, 4);
        Retype(d.Edit2, "300");
        Choose(d.ComboBox4, 1);
        Retype(d.Edit9, "000");
        Retype(d.Edit6, "5");
        d.BitBtn2->click();
        QVERIFY(!d.isVisible());
        QVERIFY(!d.ConnectRequested);
        QVERIFY(SameBytes(settings, before));
        QVERIFY(!device->Port());

        for (auto close : {+[](TFormConnPar& f) { QTest::keyClick(&f, Qt::Key_Escape); },
                           +[](TFormConnPar& f) { f.close(); }}) {
            Show();
            Choose(dialog->ComboBox2, 3);
            close(*dialog);
            QVERIFY(!dialog->isVisible());
            QVERIFY(!dialog->ConnectRequested);
            QVERIFY(SameBytes(settings, before));
        }
    }

    // Each link type enables its own fields: a network link needs no COM port and no RTS
    // pause, a call-in no address, and a search a server whose rate the program sets.
    void networkGroupFollowsTheLinkType() {
        TFormConnPar& d = Show();
        QCOMPARE(d.Label27->text(), QString("Адрес"));
        QCOMPARE(d.Label28->text(), QString("Порт TCP"));
        QCOMPARE(d.CheckBox1->text(), QString("RFC 2217"));
        QCOMPARE(d.CheckBox2->text(), QString("Ждать вызова терминала"));
        QCOMPARE(d.Label30->text(),
                 QString("Линией RS-485 управляет преобразователь: пауза RTS не применяется"));
        struct State {
            int linkType;
            bool rfc2217, callIn;
            bool host, search;
        };
        const std::vector<State> states = {
            {0, false, false, false, true}, {1, false, false, false, false},
            {2, false, false, true, false}, {2, true, false, true, true},
            {2, true, true, false, true},   {2, false, true, false, false},
            {0, true, true, false, true},   {1, true, true, false, false},
        };
        const QColor enabledColour(254, 254, 254), panelColour(211, 211, 211);
        for (const State& s : states) {
            Choose(d.ComboBox4, 2);
            for (auto [box, checked] :
                 {std::pair{d.CheckBox1, s.rfc2217}, {d.CheckBox2, s.callIn}}) {
                if (box->isChecked() != checked) {
                    box->click();
                }
            }
            Choose(d.ComboBox4, s.linkType);
            const bool network = s.linkType == 2;
            const QString row = QString("link %1, rfc2217 %2, call-in %3")
                                    .arg(s.linkType)
                                    .arg(s.rfc2217)
                                    .arg(s.callIn);
            QVERIFY2(d.ComboBox1->isEnabled() == !network && d.Label1->isEnabled() == !network,
                     qPrintable(row));
            QVERIFY2(d.Edit4->isEnabled() == !network && d.Label8->isEnabled() == !network,
                     qPrintable(row));
            QVERIFY2(
                d.Edit4->palette().color(QPalette::Base) == (network ? panelColour : enabledColour),
                qPrintable(row));
            QVERIFY2(d.Label30->isVisible() == network, qPrintable(row));
            for (QWidget* widget : std::initializer_list<QWidget*>{d.Edit12, d.Label28, d.Label29,
                                                                   d.CheckBox1, d.CheckBox2}) {
                QVERIFY2(widget->isEnabled() == network, qPrintable(row));
            }
            QVERIFY2(d.Edit11->isEnabled() == s.host && d.Label27->isEnabled() == s.host,
                     qPrintable(row));
            QVERIFY2(
                d.Edit11->palette().color(QPalette::Base) == (s.host ? enabledColour : panelColour),
                qPrintable(row));
            QVERIFY2(d.BitBtn4->isEnabled() == s.search, qPrintable(row));
            QVERIFY2(d.Edit9->isEnabled() == (s.linkType == 1), qPrintable(row));
            QVERIFY2(d.NetworkWorkingCopy().Rfc2217 == s.rfc2217 &&
                         d.NetworkWorkingCopy().CallIn == s.callIn,
                     qPrintable(row));
        }

        // Panel 0 names the address in place of the port.
        d.CheckBox2->setChecked(false);
        Choose(d.ComboBox4, 2);
        Choose(d.ComboBox2, 11);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel).back(), " 10.0.0.7:4002,   9600 бит/с");
        d.CheckBox2->click();
        Choose(d.ComboBox2, 11);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel).back(), " :4002,   9600 бит/с");
        Choose(d.ComboBox4, 0);
        Choose(d.ComboBox2, 11);
        QCOMPARE(mainScreen->PanelTexts(ConnectionPanel).back(), " COM1,   9600 бит/с");
        d.BitBtn2->click();
        QVERIFY(network == KnownNetwork());
    }

    // Nothing opens and nothing is stored while the address or the TCP port is wrong; the
    // edits keep what the operator put there.
    void networkValuesAreCheckedBeforeAnythingOpens() {
        BlockCom1();
        TFormConnPar& d = Show();
        Choose(d.ComboBox4, 2);
        struct Case {
            QString host, port;
            bool callIn;
            QString expected;
        };
        const std::vector<Case> cases = {
            {"", "4001", false, NoHost},
            {"   ", "4001", false, NoHost},
            {"10.0.0.7", "0", false, TcpPortOutOfRange},
            {"10.0.0.7", "65536", false, TcpPortOutOfRange},
            {"10.0.0.7", "70000", false, TcpPortOutOfRange},
            {"10.0.0.7", "", false, TcpPortOutOfRange},
            {"10.0.0.7", "40a1", false, TcpPortOutOfRange},
            {"10.0.0.7", "-1", false, TcpPortOutOfRange},
            {"", "99999", true, TcpPortOutOfRange},  // a call-in is asked no address
        };
        for (const Case& c : cases) {
            if (d.CheckBox2->isChecked()) {
                d.CheckBox2->click();
            }
            Paste(d.Edit11, c.host);
            Paste(d.Edit12, c.port);
            if (c.callIn) {
                d.CheckBox2->click();
            }
            const size_t before = messages->shown.size();
            d.BitBtn1->click();
            QCOMPARE(messages->shown.size(), before + 1);
            QCOMPARE(messages->Last(), (Shown{InputError, c.expected, ""}));
            QVERIFY(d.isVisible());
            QCOMPARE(d.Edit11->text(), c.host);
            QCOMPARE(d.Edit12->text(), c.port);
            QVERIFY(!device->Port());
            // Nor does a search start.
            d.CheckBox1->setChecked(true);
            d.BitBtn4->click();
            QCOMPARE(messages->shown.size(), before + 2);
            QCOMPARE(messages->Last(), (Shown{InputError, c.expected, ""}));
            d.CheckBox1->setChecked(false);
        }
        d.BitBtn2->click();
        QVERIFY(SameBytes(settings, KnownSettings()));
        QVERIFY(network == KnownNetwork());
    }

    void networkConnectStoresBothSettingsAndCancelNeither() {
        auto sim = StartSim({});
        QVERIFY(sim);
        Listener listener;  // where the network link's own open reaches
        QVERIFY(listener.Port() != 0);
        TFormConnPar& d = Show();
        Choose(d.ComboBox4, 2);
        Retype(d.Edit11, "192.168.1.50");
        Retype(d.Edit12, "4001");
        d.CheckBox1->click();
        d.CheckBox2->click();
        QVERIFY(d.NetworkWorkingCopy() == (NetworkSettings{"192.168.1.50", 4001, true, true}));
        d.BitBtn2->click();
        QVERIFY(!d.ConnectRequested);
        QVERIFY(SameBytes(settings, KnownSettings()));
        QVERIFY(network == KnownNetwork());
        QVERIFY(!device->Port());

        // The next dialog starts again from the settings.
        Show();
        QCOMPARE(dialog->ComboBox4->currentIndex(), 0);
        QCOMPARE(dialog->Edit11->text(), QString("10.0.0.7"));
        QVERIFY(!dialog->CheckBox1->isChecked() && !dialog->CheckBox2->isChecked());
        Choose(dialog->ComboBox4, 2);
        Retype(dialog->Edit11, " 127.0.0.1 ");
        Retype(dialog->Edit12, QString::number(listener.Port()));
        dialog->BitBtn1->click();
        QVERIFY2(messages->shown.empty(), qPrintable(messages->Last().first));
        QVERIFY(dialog->ConnectRequested);
        QVERIFY(device->Port());
        QCOMPARE(settings.LinkType, uint8_t{2});
        const NetworkSettings expected{"127.0.0.1", listener.Port(), false, false};
        QVERIFY(network == expected);
        QVERIFY(device->Network == expected);
        ConnectionSettings others = settings;
        others.LinkType = 0;
        QVERIFY(SameBytes(others, KnownSettings()));

        // A dialog over a network link shows it chosen.
        Show();
        QCOMPARE(dialog->ComboBox4->currentText(), QString("Сеть (TCP/IP)"));
        QCOMPARE(dialog->Edit11->text(), QString("127.0.0.1"));
        QCOMPARE(dialog->Edit12->text(), QString::number(listener.Port()));
        QVERIFY(!dialog->ComboBox1->isEnabled());
        QVERIFY(!dialog->Edit4->isEnabled());
    }

    void connectOpensThePortAndSetsUpTheEngine() {
        auto sim = StartSim({});
        QVERIFY(sim);
        // A handle still open on the line must not lock the dialog's own open out.
        QVERIFY(device->Open(settings, sim->LinkPath()));
        settings.BaudRate = 9600;
        TFormConnPar& d = Show();
        Retype(d.Edit1, "3");
        Retype(d.Edit2, "150");
        Retype(d.Edit3, "2");
        Choose(d.ComboBox3, 2);
        Retype(d.Edit4, "10");
        // Left in the telephone fields over a direct link: taken along unchecked.
        Choose(d.ComboBox4, 1);
        Retype(d.Edit9, "777");
        Retype(d.Edit6, "999");
        Choose(d.ComboBox4, 0);
        d.BitBtn1->click();
        QVERIFY2(messages->shown.empty(), qPrintable(messages->Last().first));
        QVERIFY(!d.isVisible());
        QVERIFY(d.ConnectRequested);
        QVERIFY(device->Port());
        QCOMPARE(engine->Port, device->Port());
        QCOMPARE(engine->BaudRate, 9600);
        QCOMPARE(engine->FirstByteTimeout, 3000);
        QCOMPARE(engine->NextByteTimeout, 150);
        QCOMPARE(engine->PreambleCount, uint8_t{2});
        QCOMPARE(engine->RtsPause, 10);
        QCOMPARE(engine->Attempts, uint8_t{3});
        QVERIFY(SameBytes(settings, d.WorkingCopy()));
        ConnectionSettings expected = KnownSettings();
        expected.BaudRate = 9600;
        expected.FirstByteTimeout = 3;
        expected.NextByteTimeout = 150;
        expected.RequestPreambles = 2;
        expected.ExchangeAttempts = 3;
        expected.RtsPause = 10;
        expected.ConnectWait = 999;
        SetFieldText(expected.PhoneNumber, sizeof expected.PhoneNumber, "777");
        QVERIFY(SameBytes(settings, expected));
        // The line really leads to the device.
        const TableRequest ident = ReadRequest(0, 0, 17);
        QVERIFY(engine->ExecuteCommand(TableExchange, ident.Data.data(), ident.Length));

        // A telephone connect checks and stores the telephone fields.
        Show();
        Choose(dialog->ComboBox4, 1);
        Retype(dialog->Edit6, "120");
        Retype(dialog->Edit10, "10");
        Retype(dialog->Edit8, "Ж");
        dialog->BitBtn1->click();
        QVERIFY(dialog->ConnectRequested);
        QCOMPARE(settings.LinkType, uint8_t{1});
        QCOMPARE(int32_t{settings.ConnectWait}, 120);
        QCOMPARE(int32_t{settings.ConnectAttempts}, 10);
        QCOMPARE(settings.CityCode[0], char(0xC6));
        QCOMPARE(engine->Port, device->Port());
    }

    void portThatCannotBeOpenedIsReported() {
        auto sim = StartSim({});
        QVERIFY(sim);
        // Another program holds the line.
        TransportHandle other = OpenComPortAt(sim->LinkPath(), LineSettings{});
        QVERIFY(other);
        Show();
        dialog->BitBtn1->click();
        QCOMPARE(messages->Last(), (Shown{Error, "Коммуникационный порт COM1 недоступен",
                                          "порт занят другой программой"}));
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->ConnectRequested);
        QVERIFY(!device->Port());
        QVERIFY(!engine->Port);
        QVERIFY(SameBytes(settings, KnownSettings()));
        // Nor does a search start.
        dialog->BitBtn4->click();
        QCOMPARE(messages->shown.size(), size_t{2});
        QVERIFY(dialog->BitBtn1->isEnabled());
        QVERIFY(!device->Port());
    }

    void searchFindsTheDeviceAt9600AndClosesThePort() {
        auto sim = StartSim({"--rate", "9600"});
        QVERIFY(sim);
        const ConnectionSettings before = settings;
        TFormConnPar& d = Show();
        SearchTrace trace;
        Trace(trace);
        d.BitBtn4->click();
        const QStringList tried = {"600",  "1200", "2400", "3200", "3600", "4800",
                                   "5760", "6400", "7200", "7680", "9600"};
        QStringList expected;
        for (const QString& rate : tried) {
            expected << "Скорость обмена:  " + rate;
        }
        QCOMPARE(trace.texts, expected);
        QVERIFY(trace.buttonsDisabled);
        QVERIFY(trace.hourglass);
        QCOMPARE(messages->shown, (std::vector<Shown>{{ExchangeResult, "Получен ответ на запрос",
                                                       "при скорости обмена - 9600 бит/с"}}));
        QCOMPARE(d.ComboBox2->currentText(), QString("9600"));
        QCOMPARE(int32_t{d.WorkingCopy().BaudRate}, 9600);
        QVERIFY(d.StatusBar1->currentMessage().isEmpty());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(d.BitBtn1->isEnabled() && d.BitBtn2->isEnabled() && d.BitBtn4->isEnabled());
        QVERIFY(!device->Port());
        QVERIFY(!engine->Port);
        QVERIFY(OpenComPortAt(sim->LinkPath(), LineSettings{}));  // closed, not just forgotten
        QVERIFY(mainScreen->PanelTexts(ConnectionPanel).empty());
        d.BitBtn2->click();
        QVERIFY(!d.ConnectRequested);
        QVERIFY(SameBytes(settings, before));
    }

    void searchWithoutAnswerTriesAllButThreeHundred() {
        auto sim = StartSim({"--rate", "300"});
        QVERIFY(sim);
        TFormConnPar& d = Show();
        SearchTrace trace;
        Trace(trace);
        d.BitBtn4->click();
        QCOMPARE(trace.texts.size(), 21);
        QCOMPARE(trace.texts.front(), QString("Скорость обмена:  600"));
        QCOMPARE(trace.texts.back(), QString("Скорость обмена:  230400"));
        QVERIFY(trace.buttonsDisabled);
        QCOMPARE(messages->shown,
                 (std::vector<Shown>{{ExchangeResult, "Связь не установлена", ""}}));
        QCOMPARE(d.ComboBox2->currentText(), QString("1200"));
        QVERIFY(!device->Port());
        QVERIFY(!engine->Port);
    }

    // Escape is ignored while the search runs; the close box ends it once the rate under
    // way has had its try, as a close ends every other operation, and nothing is said.
    void closeDuringTheSearchEndsItAtTheStep() {
        auto sim = StartSim({"--rate", "300"});
        QVERIFY(sim);
        TFormConnPar& d = Show();
        SearchTrace trace;
        Trace(trace);
        bool stayedOpen = true;
        connect(d.StatusBar1, &QStatusBar::messageChanged, &d, [&](const QString& text) {
            if (text.endsWith(" 1200")) {
                QTest::keyClick(&d, Qt::Key_Escape);
                stayedOpen = d.isVisible();
                d.close();
            }
        });
        d.BitBtn4->click();
        QCOMPARE(trace.texts, (QStringList{"Скорость обмена:  600", "Скорость обмена:  1200"}));
        QVERIFY(stayedOpen);
        QVERIFY(messages->shown.empty());
        QVERIFY(!device->Port());
        QVERIFY(!d.isVisible());
        QVERIFY(!d.ConnectRequested);
        QVERIFY(SameBytes(settings, KnownSettings()));
    }
};

QTEST_MAIN(ConnparTest)
#include "ConnparTest.moc"
