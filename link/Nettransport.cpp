#include "link/Nettransport.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "link/Netsocket.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Telnet's commands (RFC 854) and the options the link speaks.
constexpr uint8_t Iac = 255;
constexpr uint8_t Dont = 254;
constexpr uint8_t Do = 253;
constexpr uint8_t Wont = 252;
constexpr uint8_t Will = 251;
constexpr uint8_t Sb = 250;
constexpr uint8_t Se = 240;
constexpr uint8_t BinaryOption = 0;
constexpr uint8_t ComPortOption = 44;

// RFC 2217's commands from the client; the server answers each with its code + 100.
constexpr uint8_t SetBaudrate = 1;
constexpr uint8_t SetDatasize = 2;
constexpr uint8_t SetParity = 3;
constexpr uint8_t SetStopsize = 4;
constexpr uint8_t SetControl = 5;
constexpr uint8_t PurgeData = 12;
constexpr uint8_t ServerAnswer = 100;
constexpr uint8_t ParityNone = 1;
constexpr uint8_t OneStopBit = 1;
constexpr uint8_t DtrOn = 8;
constexpr uint8_t DtrOff = 9;
constexpr uint8_t RtsOn = 11;
constexpr uint8_t RtsOff = 12;
constexpr uint8_t PurgeBoth = 3;

// The COM-PORT option and binary transfer both ways.
constexpr uint8_t Offer[] = {Iac, Will, ComPortOption, Iac, Will, BinaryOption,
                             Iac, Do,   BinaryOption};

// A busy server closes the connection at once, its reason sent just before the close.
constexpr auto BusyWatch = 200ms;
constexpr auto BusyGrace = 20ms;
// A server that speaks RFC 2217 answers at once; one that stays silent takes raw bytes.
constexpr auto NegotiationWait = 1s;
constexpr auto AnswerWait = 1s;
// The longest a reply to the server's own telnet commands may take.
constexpr auto ReplyLimit = 1s;
constexpr size_t ReceiveChunk = 512;
// Waits and limits beyond this are taken as this: a deadline must stay on the clock.
constexpr std::chrono::nanoseconds LongestWait = 24h;
constexpr size_t SubnegotiationLimit = 64;
// Flush drops at most this many chunks: a server that never stops talking cannot hold it.
constexpr int FlushChunks = 256;

std::string CauseOf(const NetFailure& failure) {
    switch (failure.Error) {
        case NetError::HostNotFound:
            return NetHostNotFoundText;
        case NetError::Refused:
            return NetRefusedText;
        case NetError::NoRoute:
            return NetNoRouteText;
        case NetError::TimedOut:
            return NetTimedOutText;
        case NetError::AddressInUse:
            return NetPortInUseText;
        case NetError::Closed:
            return NetConnectionLostText;
        default:
            return failure.Detail.empty() ? "сбой сети" : "сбой сети: " + failure.Detail;
    }
}

// The server's own words, as far as they are printable text on one line. A telnet server
// (ser2net on an RFC 2217 port) sends its options before them: they are left out.
std::string ServerText(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t byte = bytes[i];
        if (byte == Iac && i + 1 < bytes.size()) {
            const uint8_t command = bytes[++i];
            if (command >= Will && command <= Dont) {
                ++i;
            } else if (command == Sb) {
                while (i + 1 < bytes.size() && !(bytes[i] == Iac && bytes[i + 1] == Se)) {
                    ++i;
                }
                ++i;
            }
            continue;
        }
        const bool printable = byte >= 0x20 && byte < 0x7F;
        if (printable) {
            text += static_cast<char>(byte);
        } else if (!text.empty() && text.back() != ' ') {
            text += ' ';
        }
        if (text.size() >= 120) {
            break;
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

class NetTransport final : public Transport {
public:
    NetTransport(NetSocket socket, std::chrono::nanoseconds roundTrip)
        : socket_(std::move(socket)), roundTrip_(roundTrip) {}

    // What follows the connection: the busy server's close, then RFC 2217 when asked for.
    LinkStatus Start(bool rfc2217, int32_t rate, std::string* notice) {
        if (LinkStatus busy = WatchForBusyServer(); !busy) {
            return busy;
        }
        if (!rfc2217) {
            Absorb(pending_.data(), pending_.size());
            pending_.clear();
            return {};
        }
        telnet_ = true;
        if (LinkStatus offered = Negotiate(); !offered) {
            return offered;
        }
        if (!comPort_) {
            // Telnet without the COM-PORT option keeps its framing; silence means raw bytes.
            telnet_ = sawTelnet_;
            if (notice) {
                *notice = NetNoRfc2217Text;
            }
            return {};
        }
        const uint8_t lineFormat[] = {Iac, Sb, ComPortOption, SetDatasize, 8,          Iac, Se,
                                      Iac, Sb, ComPortOption, SetParity,   ParityNone, Iac, Se,
                                      Iac, Sb, ComPortOption, SetStopsize, OneStopBit, Iac, Se};
        if (LinkStatus sent = SendAll(lineFormat, sizeof lineFormat, ReplyLimit); !sent) {
            return sent;
        }
        return SetRate(rate);
    }

    LinkStatus SetRate(int32_t rate) override {
        if (!comPort_) {
            return {};  // the converter's own setting rules
        }
        const auto asked = static_cast<uint32_t>(rate);
        std::vector<uint8_t> command = {Iac, Sb, ComPortOption, SetBaudrate};
        for (const int shift : {24, 16, 8, 0}) {
            AppendEscaped(command, static_cast<uint8_t>(asked >> shift));
        }
        command.insert(command.end(), {Iac, Se});
        rateAnswer_.reset();
        if (LinkStatus sent = SendAll(command.data(), command.size(), ReplyLimit); !sent) {
            return sent;
        }
        const auto deadline = Clock::now() + AnswerWait;
        while (!rateAnswer_) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return LinkStatus::Failed(std::string(NetNoRateAnswerText) + " (" +
                                          std::to_string(asked) + " бит/с)");
            }
            if (Fill(left) == IoResult::Closed || failed_) {
                return LinkStatus::Failed(failure_);
            }
        }
        if (*rateAnswer_ != asked) {
            return LinkStatus::Failed(NetRateMismatchText(asked, *rateAnswer_));
        }
        return {};
    }

    // What was received is a stale answer to an earlier request: dropped without waiting.
    LinkStatus Flush() override {
        if (failed_) {
            return LinkStatus::Failed(failure_);
        }
        if (comPort_) {
            const uint8_t purge[] = {Iac, Sb, ComPortOption, PurgeData, PurgeBoth, Iac, Se};
            if (LinkStatus sent = SendAll(purge, sizeof purge, ReplyLimit); !sent) {
                return sent;
            }
        }
        for (int chunk = 0; chunk < FlushChunks; ++chunk) {
            const IoResult result = Fill(0ns);
            if (failed_) {
                return LinkStatus::Failed(failure_);
            }
            if (result != IoResult::Done) {
                break;
            }
        }
        ready_.clear();
        taken_ = 0;
        return {};
    }

    LinkStatus SetDtr(bool on) override { return Control(on ? DtrOn : DtrOff); }
    LinkStatus SetRts(bool on) override { return Control(on ? RtsOn : RtsOff); }

    // Write returns once the system has every byte: nothing is left on the program's side.
    LinkStatus Drain() override { return failed_ ? LinkStatus::Failed(failure_) : LinkStatus(); }

    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override {
        if (!telnet_) {
            return SendAll(data, count, limit);
        }
        // The frame's preambles are 0xFF, telnet's IAC: each goes as two.
        escaped_.clear();
        for (size_t i = 0; i < count; ++i) {
            AppendEscaped(escaped_, data[i]);
        }
        return SendAll(escaped_.data(), escaped_.size(), limit);
    }

    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        const auto deadline = Clock::now() + std::min(wait, LongestWait);
        for (;;) {
            if (Take(byte)) {
                return ReadStatus::Byte;
            }
            if (failed_) {
                return ReadStatus::Failed;
            }
            const auto left = std::max<std::chrono::nanoseconds>(deadline - Clock::now(), 0ns);
            const IoResult result = Fill(left);
            if (result == IoResult::WouldBlock && left == 0ns) {
                return ReadStatus::None;
            }
        }
    }

    std::string ReadFailure() const override { return failure_; }
    bool LineLost() const override { return lost_; }
    LineDriver Driver() const override { return LineDriver::Converter; }
    std::chrono::nanoseconds RoundTrip() const override { return roundTrip_; }

private:
    static void AppendEscaped(std::vector<uint8_t>& out, uint8_t byte) {
        out.push_back(byte);
        if (byte == Iac) {
            out.push_back(Iac);
        }
    }

    // ser2net with its one client says "Port already in use" and closes; a server that
    // keeps the connection either greets at once or says nothing at all.
    LinkStatus WatchForBusyServer() {
        auto deadline = Clock::now() + BusyWatch;
        std::vector<uint8_t> early;
        uint8_t chunk[ReceiveChunk];
        for (;;) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero() || !socket_.WaitReadable(left)) {
                break;
            }
            size_t received = 0;
            NetFailure failure;
            const IoResult result = socket_.Receive(chunk, sizeof chunk, received, failure);
            if (result == IoResult::Done) {
                if (early.empty()) {
                    deadline = std::min(deadline, Clock::now() + BusyGrace);
                }
                early.insert(early.end(), chunk, chunk + received);
            } else if (result == IoResult::Closed) {
                const std::string said = ServerText(early);
                return LinkStatus::Failed(std::string(NetServerBusyText) +
                                          (said.empty() ? "" : ": " + said));
            } else if (result == IoResult::Failed) {
                return LinkStatus::Failed(CauseOf(failure));
            }
        }
        // Kept for the parser: a telnet server's first options come here.
        pending_ = std::move(early);
        return {};
    }

    // Offers the COM-PORT option and binary transfer both ways; done when the server has
    // taken or refused COM-PORT, or stayed silent for NegotiationWait.
    LinkStatus Negotiate() {
        usComPort_.asked = usBinary_.asked = themBinary_.asked = true;
        if (LinkStatus sent = SendAll(Offer, sizeof Offer, ReplyLimit); !sent) {
            return sent;
        }
        Absorb(pending_.data(), pending_.size());
        pending_.clear();
        // A server that greeted in telnet echoes nothing; any other may be raw TCP to a line
        // that echoes (a converter that hears itself), and send the offer straight back.
        echoWatch_ = !sawTelnet_;
        const auto deadline = Clock::now() + NegotiationWait;
        while (!usComPort_.on && usComPort_.asked && !echoed_ && !failed_) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                break;
            }
            Fill(left);
        }
        if (failed_) {
            return LinkStatus::Failed(failure_);
        }
        if (echoWatch_) {
            // Silence, or the start of an echo: the line's own bytes either way.
            echoWatch_ = false;
            ready_.insert(ready_.end(), heard_.begin(), heard_.end());
            heard_.clear();
        }
        comPort_ = usComPort_.on;
        return {};
    }

    LinkStatus Control(uint8_t value) {
        if (failed_) {
            return LinkStatus::Failed(failure_);
        }
        if (!comPort_) {
            return {};
        }
        const uint8_t command[] = {Iac, Sb, ComPortOption, SetControl, value, Iac, Se};
        return SendAll(command, sizeof command, ReplyLimit);
    }

    LinkStatus SendAll(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) {
        if (failed_) {
            return LinkStatus::Failed(failure_);
        }
        const bool bounded = limit > 0ns;
        const auto deadline = Clock::now() + std::min(limit, LongestWait);
        size_t done = 0;
        while (done < count) {
            size_t sent = 0;
            NetFailure failure;
            const IoResult result = socket_.Send(data + done, count - done, sent, failure);
            if (result == IoResult::Done) {
                done += sent;
                continue;
            }
            if (result != IoResult::WouldBlock) {
                Fail(failure, result == IoResult::Closed);
                return LinkStatus::Failed(failure_);
            }
            const auto left = bounded ? deadline - Clock::now() : Clock::duration(1s);
            if (left <= Clock::duration::zero()) {
                return LinkStatus::Failed(NetSendTimedOutText);
            }
            socket_.WaitWritable(left);
        }
        return {};
    }

    // Receives one chunk, waiting at most wait for it, and hands it to the parser.
    IoResult Fill(std::chrono::nanoseconds wait) {
        if (failed_) {
            return IoResult::Failed;
        }
        uint8_t chunk[ReceiveChunk];
        size_t received = 0;
        NetFailure failure;
        IoResult result = socket_.Receive(chunk, sizeof chunk, received, failure);
        if (result == IoResult::WouldBlock && wait > 0ns && socket_.WaitReadable(wait)) {
            result = socket_.Receive(chunk, sizeof chunk, received, failure);
        }
        if (result == IoResult::Done) {
            Absorb(chunk, received);
        } else if (result != IoResult::WouldBlock) {
            Fail(failure, result == IoResult::Closed);
        }
        return result;
    }

    void Fail(const NetFailure& failure, bool closed) {
        failed_ = true;
        lost_ = closed;
        failure_ = closed ? NetConnectionLostText : CauseOf(failure);
    }

    bool Take(uint8_t& byte) {
        if (taken_ >= ready_.size()) {
            return false;
        }
        byte = ready_[taken_++];
        if (taken_ == ready_.size()) {
            ready_.clear();
            taken_ = 0;
        }
        return true;
    }

    // The received bytes, the telnet commands among them parsed out wherever the segments
    // split them; the answers they call for go out at once.
    void Absorb(const uint8_t* bytes, size_t count) {
        if (echoWatch_) {
            heard_.insert(heard_.end(), bytes, bytes + count);
            const size_t compared = std::min(heard_.size(), sizeof Offer);
            if (std::equal(heard_.begin(), heard_.begin() + static_cast<ptrdiff_t>(compared),
                           Offer)) {
                if (compared < sizeof Offer) {
                    return;  // an echo so far: the rest tells
                }
                echoWatch_ = false;
                echoed_ = true;
                ready_.insert(ready_.end(), heard_.begin(), heard_.end());
                heard_.clear();
                return;
            }
            echoWatch_ = false;
            std::vector<uint8_t> heard;
            heard.swap(heard_);
            Absorb(heard.data(), heard.size());
            return;
        }
        if (!telnet_) {
            ready_.insert(ready_.end(), bytes, bytes + count);
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            Parse(bytes[i]);
        }
        if (!replies_.empty()) {
            std::vector<uint8_t> replies;
            replies.swap(replies_);
            (void)SendAll(replies.data(), replies.size(), ReplyLimit);  // a failure stays
        }
    }

    void Parse(uint8_t byte) {
        switch (state_) {
            case ParseState::Data:
                if (byte == Iac) {
                    state_ = ParseState::Command;
                } else {
                    ready_.push_back(byte);
                }
                break;
            case ParseState::Command:
                state_ = ParseState::Data;
                if (byte == Iac) {
                    ready_.push_back(Iac);
                } else if (byte >= Will && byte <= Dont) {
                    verb_ = byte;
                    state_ = ParseState::Option;
                } else if (byte == Sb) {
                    subnegotiation_.clear();
                    state_ = ParseState::Subnegotiation;
                }  // NOP, GA and the like ask nothing of a program
                break;
            case ParseState::Option:
                state_ = ParseState::Data;
                Answer(verb_, byte);
                break;
            case ParseState::Subnegotiation:
                if (byte == Iac) {
                    state_ = ParseState::SubnegotiationCommand;
                } else if (subnegotiation_.size() < SubnegotiationLimit) {
                    subnegotiation_.push_back(byte);
                }
                break;
            case ParseState::SubnegotiationCommand:
                if (byte == Iac) {
                    state_ = ParseState::Subnegotiation;
                    if (subnegotiation_.size() < SubnegotiationLimit) {
                        subnegotiation_.push_back(Iac);
                    }
                } else {
                    sawTelnet_ = true;
                    if (byte == Se) {
                        state_ = ParseState::Data;
                        Subnegotiated();
                    } else {
                        // A command without SE ends the subnegotiation unread.
                        state_ = ParseState::Command;
                        Parse(byte);
                    }
                }
                break;
        }
    }

    struct OptionSide {
        bool on = false;
        bool asked = false;  // our request went out and waits for its answer
    };

    // An option's state moves once per request (RFC 1143): an answer to our own request is
    // not answered again, and options the link does not use are refused.
    void Answer(uint8_t verb, uint8_t option) {
        sawTelnet_ = true;
        const bool ours = verb == Do || verb == Dont;
        const bool enable = verb == Do || verb == Will;
        OptionSide* side = nullptr;
        if (option == BinaryOption) {
            side = ours ? &usBinary_ : &themBinary_;
        } else if (option == ComPortOption && ours) {
            side = &usComPort_;
        }
        if (!side) {
            if (enable) {
                replies_.insert(replies_.end(), {Iac, ours ? Wont : Dont, option});
            }
            return;
        }
        if (enable) {
            if (!side->on && !side->asked) {
                replies_.insert(replies_.end(), {Iac, ours ? Will : Do, option});
            }
            side->on = true;
        } else {
            if (side->on && !side->asked) {
                replies_.insert(replies_.end(), {Iac, ours ? Wont : Dont, option});
            }
            side->on = false;
        }
        side->asked = false;
    }

    void Subnegotiated() {
        const std::vector<uint8_t>& s = subnegotiation_;
        if (s.size() >= 6 && s[0] == ComPortOption && s[1] == ServerAnswer + SetBaudrate) {
            rateAnswer_ = uint32_t{s[2]} << 24 | uint32_t{s[3]} << 16 | uint32_t{s[4]} << 8 | s[5];
        }
    }

    enum class ParseState { Data, Command, Option, Subnegotiation, SubnegotiationCommand };

    NetSocket socket_;
    std::chrono::nanoseconds roundTrip_;
    bool telnet_ = false;   // the stream is telnet's: IAC doubled, commands parsed out
    bool comPort_ = false;  // and the server took the COM-PORT option
    bool sawTelnet_ = false;
    bool echoWatch_ = false;  // the offer may come back as an echo of the line
    bool echoed_ = false;
    std::vector<uint8_t> heard_;  // held while it may be that echo
    bool failed_ = false;
    bool lost_ = false;
    std::string failure_;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> ready_;  // data bytes received and not yet read
    size_t taken_ = 0;
    std::vector<uint8_t> escaped_;
    std::vector<uint8_t> replies_;
    ParseState state_ = ParseState::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> subnegotiation_;
    OptionSide usComPort_;
    OptionSide usBinary_;
    OptionSide themBinary_;
    std::optional<uint32_t> rateAnswer_;
};

}  // namespace

std::string NetRateMismatchText(uint32_t asked, uint32_t set) {
    return "сервер установил скорость " + std::to_string(set) + " бит/с вместо " +
           std::to_string(asked) + " бит/с";
}

TransportHandle ConnectTcp(const NetTarget& target, int32_t rate, std::chrono::milliseconds timeout,
                           std::string* failure, std::string* notice,
                           const std::function<bool()>& keepWaiting) {
    const auto fail = [&](std::string cause) -> TransportHandle {
        if (failure) {
            *failure = std::move(cause);
        }
        return nullptr;
    };
    if (notice) {
        notice->clear();
    }
    if (failure) {
        failure->clear();
    }
    if (target.Host.empty() || target.Port == 0) {
        return fail("не задан адрес узла");
    }
    NetFailure connectFailure;
    std::chrono::nanoseconds handshake{};
    NetSocket socket =
        ConnectSocket(target.Host, target.Port, timeout, connectFailure, handshake, keepWaiting);
    if (!socket.Valid()) {
        return fail(connectFailure.Error == NetError::Cancelled ? std::string()
                                                                : CauseOf(connectFailure));
    }
    auto transport = std::make_unique<NetTransport>(std::move(socket), handshake);
    if (LinkStatus started =
            transport->Start(target.Protocol == NetProtocol::Rfc2217, rate, notice);
        !started) {
        return fail(started.Cause());
    }
    return transport;
}

TransportHandle ListenTcp(uint16_t port, const std::function<bool()>& keepWaiting,
                          std::string* failure) {
    const auto fail = [&](std::string cause) -> TransportHandle {
        if (failure) {
            *failure = std::move(cause);
        }
        return nullptr;
    };
    NetFailure listenFailure;
    NetSocket listener = ListenSocket(port, listenFailure);
    if (!listener.Valid()) {
        return fail(CauseOf(listenFailure));
    }
    while (keepWaiting()) {
        NetSocket caller = listener.Accept(100ms, listenFailure);
        if (caller.Valid()) {
            return std::make_unique<NetTransport>(std::move(caller), 0ns);
        }
        if (listenFailure.Error != NetError::None) {
            return fail(CauseOf(listenFailure));
        }
    }
    return fail({});
}

bool ParseNetAddress(const std::string& text, NetTarget& target) {
    std::string host;
    size_t colon;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return false;
        }
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos) {
            return false;
        }
        host = text.substr(0, colon);
        if (host.find(':') != std::string::npos) {
            return false;  // IPv6 without brackets: where its port starts is anyone's guess
        }
    }
    const std::string digits = text.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::any_of(host.begin(), host.end(),
                    [](char c) { return c == ' ' || c == '\t' || c == '[' || c == ']'; })) {
        return false;
    }
    const unsigned long port = std::stoul(digits);
    if (port == 0 || port > 65535) {
        return false;
    }
    target.Host = host;
    target.Port = static_cast<uint16_t>(port);
    return true;
}
