// The network transports against a serial device server of the tests' own on the loopback:
// raw TCP and RFC 2217, whatever the segmenting, and every way a server can fail the link.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "link/Nettransport.h"
#include "tests/support/TcpPeer.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Line = TcpPeer::Line;
using Clock = std::chrono::steady_clock;

// Preambles and a frame full of bytes telnet would take for commands: IAC WILL ECHO and
// IAC DO COM-PORT when an IAC is not doubled.
const Bytes Request = {0xFF, 0xFF, 0xCC, 0x00, 0x0A, 0xFF, 0xFB, 0x01, 0x11, 0x22};
const Bytes Answer = {0xFF, 0xFF, 0xCC, 0x00, 0x09, 0xFF, 0xFD, 0x2C, 0x33};
const Bytes SecondAnswer = {0xCC, 0x00, 0x05, 0xFF, 0x44};

// The COM-PORT commands: SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE,
// SET-CONTROL and PURGE-DATA.
Bytes RateCommand(uint32_t rate) {
    return {1, static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
            static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)};
}
const std::vector<Bytes> LineFormat = {{2, 8}, {3, 1}, {4, 1}};

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes ReadBytes(Transport& transport, size_t count, std::chrono::milliseconds wait = 2s) {
    Bytes bytes;
    uint8_t byte = 0;
    while (bytes.size() < count && transport.ReadByte(byte, wait) == ReadStatus::Byte) {
        bytes.push_back(byte);
    }
    return bytes;
}

// Waits until the peer has recorded what the client sent last.
template <typename Check>
bool Eventually(Check check) {
    const auto until = Clock::now() + 2s;
    while (!check()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool Contains(const std::vector<Bytes>& list, const Bytes& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

struct NetLink : testing::Test {
    // The peer greets as ser2net does when RFC 2217 is asked for.
    void Server(NetProtocol protocol, std::function<void(Line&)> script, uint32_t reportRate = 0) {
        peer.Serve([=](Line& line) {
            if (protocol == NetProtocol::Rfc2217) {
                line.Rfc2217(reportRate);
            }
            script(line);
        });
    }
    TransportHandle Connect(NetProtocol protocol, int32_t rate = 9600) {
        failure.clear();
        return ConnectTcp({"127.0.0.1", peer.Port(), protocol}, rate, 2000ms, &failure, &notice);
    }

    TcpPeer peer;
    std::string failure;
    std::string notice;
};

struct EitherProtocol : NetLink, testing::WithParamInterface<NetProtocol> {};

std::string ProtocolName(const testing::TestParamInfo<NetProtocol>& info) {
    return info.param == NetProtocol::Raw ? "raw" : "rfc2217";
}

enum class Segments { Whole, Bytewise, Merged };

struct ExchangeCase {
    const char* name;
    NetProtocol protocol;
    Segments segments;
};

struct Exchange : NetLink, testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchange, RequestArrivesAsWrittenAndAnswersAsSent) {
    const ExchangeCase& c = GetParam();
    Server(c.protocol, [&c](Line& line) {
        if (line.Read(Request.size()) != Request) {
            return line.Close();
        }
        switch (c.segments) {
            case Segments::Whole:
                line.Send(Answer);
                line.Send(SecondAnswer);
                break;
            case Segments::Bytewise:
                line.SendBytewise(Join(Answer, SecondAnswer));
                break;
            case Segments::Merged:
                line.Send(Join(Answer, SecondAnswer));
                break;
        }
    });
    TransportHandle link = Connect(c.protocol);
    ASSERT_TRUE(link) << failure;
    EXPECT_EQ(notice, "");
    ASSERT_TRUE(link->Write(Request.data(), Request.size(), 1s));
    EXPECT_EQ(ReadBytes(*link, Answer.size()), Answer);
    EXPECT_EQ(ReadBytes(*link, SecondAnswer.size()), SecondAnswer);
    uint8_t byte = 0;
    EXPECT_EQ(link->ReadByte(byte, 50ms), ReadStatus::None);
    EXPECT_EQ(link->ReadByte(byte, 0ns), ReadStatus::None);
    EXPECT_EQ(peer.Received(), Request);  // nothing but the frame reached the line
}

INSTANTIATE_TEST_SUITE_P(
    Segmenting, Exchange,
    testing::Values(ExchangeCase{"rawWhole", NetProtocol::Raw, Segments::Whole},
                    ExchangeCase{"rawBytewise", NetProtocol::Raw, Segments::Bytewise},
                    ExchangeCase{"rawMerged", NetProtocol::Raw, Segments::Merged},
                    ExchangeCase{"rfc2217Whole", NetProtocol::Rfc2217, Segments::Whole},
                    ExchangeCase{"rfc2217Bytewise", NetProtocol::Rfc2217, Segments::Bytewise},
                    ExchangeCase{"rfc2217Merged", NetProtocol::Rfc2217, Segments::Merged}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NetLink, TelnetCommandsCutAnywhereNeverReachTheReader) {
    Server(NetProtocol::Rfc2217, [](Line& line) {
        line.Read(1);
        // IAC IAC split between segments, a NOP, a modem state report cut inside, and an
        // option request cut after its IAC.
        const std::vector<Bytes> pieces = {{0xCC, 0xFF},
                                           {0xFF, 0x01, 0xFF},
                                           {241, 0x02, 0xFF, 250, 44},
                                           {107, 0x30, 0xFF},
                                           {0xFF, 0x31, 0xFF},
                                           {240, 0x03, 0xFF},
                                           {253},
                                           {99, 0x04}};
        for (const Bytes& piece : pieces) {
            line.SendRaw(piece);
            line.Pause(30ms);
        }
    });
    TransportHandle link = Connect(NetProtocol::Rfc2217);
    ASSERT_TRUE(link) << failure;
    const uint8_t go = 0x55;
    ASSERT_TRUE(link->Write(&go, 1, 1s));
    EXPECT_EQ(ReadBytes(*link, 5), (Bytes{0xCC, 0xFF, 0x01, 0x02, 0x03}));
    EXPECT_EQ(ReadBytes(*link, 1), Bytes{0x04});
    // DO 99 is refused, and once.
    ASSERT_TRUE(Eventually([&] { return Contains(peer.OptionCommands(), {252, 99}); }));
    const auto options = peer.OptionCommands();
    EXPECT_EQ(std::count(options.begin(), options.end(), Bytes{252, 99}), 1);
}

TEST_F(NetLink, Rfc2217SetsTheLineAndRefusesOtherOptions) {
    Server(NetProtocol::Rfc2217, [](Line&) {});
    TransportHandle link = Connect(NetProtocol::Rfc2217, 7680);
    ASSERT_TRUE(link) << failure;
    EXPECT_EQ(notice, "");
    EXPECT_EQ(link->Driver(), LineDriver::Converter);
    EXPECT_GT(link->RoundTrip(), 0ns);
    std::vector<Bytes> expected = {RateCommand(7680)};
    expected.insert(expected.end(), LineFormat.begin(), LineFormat.end());
    auto commands = peer.ComPortCommands();
    std::sort(commands.begin(), commands.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(commands, expected);
    // Offered COM-PORT and binary both ways; refused ser2net's echo and go-ahead options,
    // and left its DONT ECHO and the answers to its own offer unanswered.
    const auto options = peer.OptionCommands();
    for (const Bytes& sent : {Bytes{251, 44}, Bytes{251, 0}, Bytes{253, 0}, Bytes{254, 3},
                              Bytes{252, 3}, Bytes{254, 1}}) {
        EXPECT_TRUE(Contains(options, sent)) << int(sent[0]) << " " << int(sent[1]);
    }
    EXPECT_EQ(options.size(), 6u);

    // A rate whose bytes hold 0xFF: doubled on the way out, read back undoubled.
    ASSERT_TRUE(link->SetRate(0xFFFF));
    ASSERT_TRUE(link->SetDtr(true));
    ASSERT_TRUE(link->SetRts(true));
    ASSERT_TRUE(link->SetRts(false));
    ASSERT_TRUE(link->SetDtr(false));
    ASSERT_TRUE(link->Drain());
    const std::vector<Bytes> control = {RateCommand(0xFFFF), {5, 8}, {5, 11}, {5, 12}, {5, 9}};
    ASSERT_TRUE(Eventually([&] { return peer.ComPortCommands().size() == 4 + control.size(); }));
    const auto all = peer.ComPortCommands();
    EXPECT_EQ(std::vector<Bytes>(all.begin() + 4, all.end()), control);
}

TEST_F(NetLink, RateTheServerSetOtherwiseFailsTheLinkNamingBoth) {
    Server(
        NetProtocol::Rfc2217, [](Line&) {}, 9600);
    EXPECT_FALSE(Connect(NetProtocol::Rfc2217, 7680));
    EXPECT_EQ(failure, "сервер установил скорость 9600 бит/с вместо 7680 бит/с");
    EXPECT_EQ(failure, NetRateMismatchText(7680, 9600));
}

TEST_F(NetLink, SilentServerMeansRawTcpWithANotice) {
    Server(NetProtocol::Raw, [](Line& line) {
        // The offer reaches the line as bytes; then a plain exchange.
        const Bytes offer = line.Read(9);
        const Bytes request = line.Read(2);
        if (offer.size() == 9 && request == Bytes{0xFF, 0xCC}) {
            line.Send({0xFF, 0xFF, 0xCC});
        }
    });
    const auto start = Clock::now();
    TransportHandle link = Connect(NetProtocol::Rfc2217, 7680);
    ASSERT_TRUE(link) << failure;
    EXPECT_GE(Clock::now() - start, 900ms);
    EXPECT_EQ(notice, NetNoRfc2217Text);
    ASSERT_TRUE(link->SetRate(9600));  // the server's own business now
    ASSERT_TRUE(link->SetDtr(true));
    const Bytes request = {0xFF, 0xCC};
    ASSERT_TRUE(link->Write(request.data(), request.size(), 1s));
    EXPECT_EQ(ReadBytes(*link, 3), (Bytes{0xFF, 0xFF, 0xCC}));
    EXPECT_EQ(peer.Received(), (Bytes{0xFF, 251, 44, 0xFF, 251, 0, 0xFF, 253, 0, 0xFF, 0xCC}));
}

// A converter that hears itself on the line (RS-485 with its own echo) sends the offer
// straight back: no telnet server, but raw TCP at once.
TEST_F(NetLink, EchoOfTheOfferMeansRawTcp) {
    peer.Serve([](Line& line) {
        while (line.Open()) {
            line.Send(line.Read(64, 10ms));
        }
    });
    const auto start = Clock::now();
    TransportHandle link = Connect(NetProtocol::Rfc2217);
    ASSERT_TRUE(link) << failure;
    EXPECT_LT(Clock::now() - start, 800ms);
    EXPECT_EQ(notice, NetNoRfc2217Text);
    ASSERT_TRUE(link->Flush());
    const Bytes request = {0xFF, 0xFF, 0xCC, 0xFF};
    ASSERT_TRUE(link->Write(request.data(), request.size(), 1s));
    EXPECT_EQ(ReadBytes(*link, request.size()), request);
    const Bytes received = peer.Received();
    ASSERT_GE(received.size(), request.size());
    EXPECT_EQ(Bytes(received.end() - 4, received.end()), request);  // not doubled
}

TEST_P(EitherProtocol, FlushDropsAStaleAnswerWithoutWaiting) {
    Server(GetParam(), [](Line& line) {
        line.Read(Request.size());
        line.Send(Answer);  // too late for the request it answers
        line.Read(Request.size());
        line.Send(SecondAnswer);
    });
    TransportHandle link = Connect(GetParam());
    ASSERT_TRUE(link) << failure;
    ASSERT_TRUE(link->Write(Request.data(), Request.size(), 1s));
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    ASSERT_TRUE(link->Flush());
    EXPECT_LT(Clock::now() - start, 50ms);
    uint8_t byte = 0;
    EXPECT_EQ(link->ReadByte(byte, 0ns), ReadStatus::None);
    ASSERT_TRUE(link->Write(Request.data(), Request.size(), 1s));
    EXPECT_EQ(ReadBytes(*link, SecondAnswer.size()), SecondAnswer);
    if (GetParam() == NetProtocol::Rfc2217) {
        EXPECT_TRUE(Eventually([&] { return Contains(peer.ComPortCommands(), {12, 3}); }));
    } else {
        // Raw TCP sets nothing at the far end: all of it is done at once.
        EXPECT_TRUE(link->SetRate(19200));
        EXPECT_TRUE(link->SetDtr(false));
        EXPECT_TRUE(link->SetRts(true));
        EXPECT_TRUE(link->Drain());
        EXPECT_EQ(link->Driver(), LineDriver::Converter);
    }
}

TEST_P(EitherProtocol, ServerThatDropsTheConnectionMidFrameLosesTheLine) {
    Server(GetParam(), [](Line& line) {
        line.Read(Request.size());
        line.Send(Bytes(Answer.begin(), Answer.begin() + 4));
        line.Pause(20ms);
        line.Close();
    });
    TransportHandle link = Connect(GetParam());
    ASSERT_TRUE(link) << failure;
    ASSERT_TRUE(link->Write(Request.data(), Request.size(), 1s));
    EXPECT_EQ(ReadBytes(*link, Answer.size()), Bytes(Answer.begin(), Answer.begin() + 4));
    uint8_t byte = 0;
    EXPECT_EQ(link->ReadByte(byte, 1s), ReadStatus::Failed);
    EXPECT_TRUE(link->LineLost());
    EXPECT_EQ(link->ReadFailure(), NetConnectionLostText);
    const LinkStatus written = link->Write(Request.data(), Request.size(), 1s);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.Cause(), NetConnectionLostText);
    EXPECT_FALSE(link->Flush());
}

// ser2net greets a client it turns away as any other, on an RFC 2217 port in telnet.
TEST_P(EitherProtocol, ServerHeldByAnotherClientIsBusy) {
    const bool telnet = GetParam() == NetProtocol::Rfc2217;
    Server(NetProtocol::Raw, [telnet](Line& line) {
        const std::string text = "Port already in use\r\n";
        line.SendRaw(
            Join(telnet ? Line::Ser2netGreeting : Bytes{}, Bytes(text.begin(), text.end())));
        line.Close();
    });
    EXPECT_FALSE(Connect(GetParam()));
    EXPECT_EQ(failure, std::string(NetServerBusyText) + ": Port already in use");
}

INSTANTIATE_TEST_SUITE_P(Protocols, EitherProtocol,
                         testing::Values(NetProtocol::Raw, NetProtocol::Rfc2217), ProtocolName);

TEST_F(NetLink, ServerThatClosesWithoutAWordIsBusyToo) {
    peer.Serve([](Line& line) { line.Close(); });
    EXPECT_FALSE(Connect(NetProtocol::Raw));
    EXPECT_EQ(failure, NetServerBusyText);
}

TEST(NetConnect, EachFailureHasItsOwnCause) {
    FullTcpBacklog silent;
    ASSERT_TRUE(silent.ok());
    struct Case {
        NetTarget target;
        std::chrono::milliseconds timeout;
        std::string cause;
    };
    const Case cases[] = {
        {{"127.0.0.1", FreeTcpPort()}, 2000ms, NetRefusedText},
        {{"nonexistent.invalid", 4001}, 2000ms, NetHostNotFoundText},
        {{"127.0.0.1", silent.Port(), NetProtocol::Rfc2217}, 300ms, NetTimedOutText},
        {{"", 4001}, 2000ms, "не задан адрес узла"},
    };
    for (const Case& c : cases) {
        std::string failure;
        const auto start = Clock::now();
        EXPECT_FALSE(ConnectTcp(c.target, 9600, c.timeout, &failure)) << c.target.Host;
        EXPECT_EQ(failure, c.cause) << c.target.Host;
        EXPECT_LT(Clock::now() - start, c.timeout + 500ms) << c.target.Host;
    }
}

struct AddressCase {
    const char* text;
    bool ok;
    const char* host = "";
    uint16_t port = 0;
};

class NetAddress : public testing::TestWithParam<AddressCase> {};

TEST_P(NetAddress, ParsesHostAndPortOrRefusesTheText) {
    const AddressCase& c = GetParam();
    NetTarget target{"before", 1, NetProtocol::Rfc2217};
    EXPECT_EQ(ParseNetAddress(c.text, target), c.ok);
    EXPECT_EQ(target.Host, c.ok ? c.host : "before");
    EXPECT_EQ(target.Port, c.ok ? c.port : 1);
    EXPECT_EQ(target.Protocol, NetProtocol::Rfc2217);  // the text says nothing of it
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NetAddress,
    testing::Values(AddressCase{"192.168.0.10:4001", true, "192.168.0.10", 4001},
                    AddressCase{"nport.local:950", true, "nport.local", 950},
                    AddressCase{"[::1]:4001", true, "::1", 4001},
                    AddressCase{"[fe80::1%eth0]:23", true, "fe80::1%eth0", 23},
                    AddressCase{"host:65535", true, "host", 65535},
                    AddressCase{"host:00080", true, "host", 80}, AddressCase{"host:65536", false},
                    AddressCase{"host:0", false}, AddressCase{"host:99999999", false},
                    AddressCase{"host", false}, AddressCase{"host:", false},
                    AddressCase{":4001", false}, AddressCase{"", false},
                    AddressCase{"::1:4001", false}, AddressCase{"[::1]", false},
                    AddressCase{"[::1]4001", false}, AddressCase{"[]:4001", false},
                    AddressCase{"host:40a1", false}, AddressCase{"host:-1", false},
                    AddressCase{"host:+80", false}, AddressCase{"my host:80", false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
