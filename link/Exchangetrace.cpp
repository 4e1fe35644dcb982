#include "link/Exchangetrace.h"

#include <array>
#include <cstdio>
#include <utility>

#include "config/Codepage.h"
#include "link/Plcbox.h"

ExchangeTrace::ExchangeTrace() : origin_(std::chrono::steady_clock::now()) {}

void ExchangeTrace::CommandStarted(uint8_t functionCode) {
    origin_ = std::chrono::steady_clock::now();
    TraceEvent event;
    event.kind = TraceEvent::Kind::Command;
    event.Value = functionCode;
    Record(event);
}

void ExchangeTrace::Add(TraceEvent event) {
    event.Micros = MicrosNow();
    Record(event);
}

int64_t ExchangeTrace::MicrosNow() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 origin_)
        .count();
}

namespace {

class TracingPort final : public Transport {
public:
    TracingPort(TransportHandle inner, ExchangeTrace& trace)
        : inner_(std::move(inner)), trace_(trace) {}
    ~TracingPort() override { Emit(); }

    LinkStatus SetRate(int32_t rate) override {
        if (trace_.Enabled()) {
            Emit();
            if (rate != rate_) {
                rate_ = rate;
                Tell(TraceEvent::Kind::Rate, rate);
            }
        }
        return inner_->SetRate(rate);
    }
    LinkStatus Flush() override {
        if (trace_.Enabled()) {
            Emit();
            Tell(TraceEvent::Kind::Purge, 0);
        }
        return inner_->Flush();
    }
    LinkStatus SetDtr(bool on) override {
        if (trace_.Enabled()) {
            Emit();
            if (on != dtr_) {
                dtr_ = on;
                Tell(TraceEvent::Kind::Dtr, on);
            }
        }
        return inner_->SetDtr(on);
    }
    LinkStatus SetRts(bool on) override {
        if (trace_.Enabled()) {
            Emit();
            Tell(TraceEvent::Kind::Rts, on);
        }
        return inner_->SetRts(on);
    }
    LinkStatus Drain() override { return inner_->Drain(); }
    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override {
        if (trace_.Enabled()) {
            Emit();
            TraceEvent event;
            event.kind = TraceEvent::Kind::Sent;
            event.Bytes.assign(data, data + count);
            trace_.Add(std::move(event));
        }
        return inner_->Write(data, count, limit);
    }
    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        const ReadStatus status = inner_->ReadByte(byte, wait);
        if (!trace_.Enabled()) {
            return status;
        }
        if (status == ReadStatus::Byte) {
            received_.push_back(byte);
        } else if (status == ReadStatus::Failed && inner_->LineLost() && !lostTold_) {
            Emit();
            lostTold_ = true;
            Tell(TraceEvent::Kind::Lost, 0);
        }
        return status;
    }
    std::string ReadFailure() const override { return inner_->ReadFailure(); }
    bool LineLost() const override { return inner_->LineLost(); }
    LineDriver Driver() const override { return inner_->Driver(); }
    std::chrono::nanoseconds RoundTrip() const override { return inner_->RoundTrip(); }

private:
    void Tell(TraceEvent::Kind kind, int32_t value) {
        TraceEvent event;
        event.kind = kind;
        event.Value = value;
        trace_.Add(std::move(event));
    }
    // What has arrived since the last event, as one event.
    void Emit() {
        if (received_.empty()) {
            return;
        }
        TraceEvent event;
        event.kind = TraceEvent::Kind::Received;
        event.Bytes.swap(received_);
        trace_.Add(std::move(event));
    }

    TransportHandle inner_;
    ExchangeTrace& trace_;
    std::vector<uint8_t> received_;
    int32_t rate_ = 0;
    bool dtr_ = false;
    bool lostTold_ = false;
};

// A run of fields by its first field and count: "чтение табл. 6 с поля 130, полей 126".
std::string Run(const char* what, const uint8_t* run) {
    return std::string(what) + " табл. " + std::to_string(run[0]) + " с поля " +
           std::to_string(run[1]) + ", полей " + std::to_string(run[2]);
}

std::string Values(const uint8_t* data, size_t count) {
    return count == 0 ? std::string() : ": " + HexBytes(std::vector<uint8_t>(data, data + count));
}

// The meaning of the data of a frame whose check sum is right; result is the verdict
// on a response.
std::string FrameBody(const uint8_t* frame, size_t length, bool request, int32_t result) {
    const uint8_t code = frame[3];
    const uint8_t* data = frame + 4;
    const size_t size = length - FrameOverhead;
    std::string text = "функция " + std::to_string(code & 0x7F);
    if (request) {
        if (code != TableExchange) {
            return text;
        }
        if (size < sizeof(TableExchangeHeader)) {
            return text + ", нет заголовка обмена";
        }
        std::string runs;
        if (data[2] > 0) {
            runs += ", " + Run("чтение", data);
        }
        if (data[5] > 0) {
            runs += ", " + Run("запись", data + 3) +
                    Values(data + sizeof(TableExchangeHeader), size - sizeof(TableExchangeHeader));
        }
        return text + (runs.empty() ? ", ничего" : runs);
    }
    if (result != ResultOk) {
        // The receiver takes any code but the echo with bit 7 set as a refusal.
        if ((code & 0x7F) != TableExchange) {
            text += " вместо " + std::to_string(TableExchange);
        }
        const int error = RefusalError(data, size);
        text += ", отказ: код " + std::to_string(error);
        if (error >= 1 && error < static_cast<int>(DeviceErrorTexts.size())) {
            text += std::string(" \"") + DeviceErrorTexts[static_cast<size_t>(error)] + "\"";
        }
        if (error == DeviceErrorDestroyedTable && size >= 3) {
            text += ", таблица " + std::to_string(data[2]);
        }
        return text;
    }
    if (size < 3) {
        return text + ", принято";
    }
    return text + ", принято, " + Run("чтение", data) + Values(data + 3, size - 3);
}

const char* KindName(TraceEvent::Kind kind) {
    switch (kind) {
        case TraceEvent::Kind::Command:
            return "command";
        case TraceEvent::Kind::Sent:
            return "sent";
        case TraceEvent::Kind::Received:
            return "received";
        case TraceEvent::Kind::Rate:
            return "rate";
        case TraceEvent::Kind::Rts:
            return "rts";
        case TraceEvent::Kind::Dtr:
            return "dtr";
        case TraceEvent::Kind::Purge:
            return "purge";
        case TraceEvent::Kind::Lost:
            return "lost";
        case TraceEvent::Kind::RtsDropError:
            return "rts-drop-error";
    }
    return "";
}

// Bytes that read as a modem's dialogue: letters, digits, signs, CR and LF only.
bool IsText(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        if (b != '\r' && b != '\n' && (b < 0x20 || b > 0x7E)) {
            return false;
        }
    }
    return !bytes.empty();
}

std::string AsText(const std::vector<uint8_t>& bytes) {
    std::string text = "текст \"";
    for (uint8_t b : bytes) {
        text += b == '\r' ? std::string("\\r") : b == '\n' ? std::string("\\n") : std::string(1, b);
    }
    return text + "\"";
}

std::string EventText(const TraceEvent& event, bool request) {
    switch (event.kind) {
        case TraceEvent::Kind::Command:
            return "команда " + std::to_string(event.Value);
        case TraceEvent::Kind::Sent:
        case TraceEvent::Kind::Received:
            return IsText(event.Bytes) ? AsText(event.Bytes)
                                       : DecodeFrame(event.Bytes, request).Text;
        case TraceEvent::Kind::Rate:
            return "скорость " + std::to_string(event.Value) + " бит/с";
        case TraceEvent::Kind::Rts:
            return event.Value ? "RTS поднят" : "RTS снят";
        case TraceEvent::Kind::Dtr:
            return event.Value ? "DTR поднят" : "DTR снят";
        case TraceEvent::Kind::Purge:
            return "очистка буферов порта";
        case TraceEvent::Kind::Lost:
            return "линия потеряна";
        case TraceEvent::Kind::RtsDropError:
            return "RTS снят через " + std::to_string(event.Value) + " мкс после последнего бита";
    }
    return {};
}

}  // namespace

TransportHandle TracedPort(TransportHandle inner, ExchangeTrace& trace) {
    if (!inner) {
        return nullptr;
    }
    return std::make_unique<TracingPort>(std::move(inner), trace);
}

FrameMeaning DecodeFrame(const std::vector<uint8_t>& bytes, bool request, uint8_t address) {
    FrameMeaning meaning;
    meaning.Text = request ? "запрос" : "ответ";
    size_t preambles = 0;
    while (preambles < bytes.size() && bytes[preambles] == PreambleByte) {
        ++preambles;
    }
    if (preambles > 0) {
        meaning.Text += ", преамбул " + std::to_string(preambles);
    }
    FrameSync sync(request ? RequestStart : ResponseStart, address);
    std::array<uint8_t, 256> frame{};
    size_t taken = 0;
    bool complete = false;
    while (taken < bytes.size() && !complete) {
        complete = sync.Take(bytes[taken++], frame.data());
    }
    const auto fail = [&](int32_t result, const std::string& detail) {
        meaning.Result = result;
        meaning.Text += ": " + std::string(ResultTexts[static_cast<size_t>(result)]) + detail;
        return meaning;
    };
    if (!sync.Started()) {
        if (bytes.size() > preambles) {
            meaning.Text +=
                ", " + std::to_string(bytes.size() - preambles) + " байт без начала кадра";
        }
        // The device's receiver drops such a request; the program's waits out its time.
        return fail(request ? ResultBadStart : sync.UnfinishedResult(), "");
    }
    if (sync.FrameBegin() > preambles) {
        meaning.Text +=
            ", " + std::to_string(sync.FrameBegin() - preambles) + " байт до начала кадра";
    }
    const auto accepted = static_cast<size_t>(sync.Accepted());
    if (!complete && accepted < 3) {
        return fail(sync.UnfinishedResult(), " (" + std::to_string(accepted) + " байт)");
    }
    const size_t length = frame[2];
    meaning.Text += ", адрес " + std::to_string(frame[1]) + ", длина " + std::to_string(length);
    if (!complete) {
        return fail(sync.UnfinishedResult(),
                    " (" + std::to_string(accepted) + " из " + std::to_string(length) + " байт)");
    }
    int32_t result = ResultOk;
    if (request) {
        result = FrameCheckSum(frame.data(), static_cast<uint16_t>(length)) == 0 ? ResultOk
                                                                                 : ResultCheckSum;
    } else {
        result = CheckResponse(frame.data(), TableExchange);
    }
    if (result == ResultCheckSum) {
        return fail(result, "");
    }
    meaning.Result = request ? ResultOk : result;
    meaning.Text += ", " + FrameBody(frame.data(), length, request, meaning.Result);
    if (taken < bytes.size()) {
        meaning.Text += ", за кадром ещё " + std::to_string(bytes.size() - taken) + " байт";
    }
    return meaning;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char hex[4];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : " %02X", b);
        text += hex;
    }
    return text;
}

std::string TraceText(const TraceEvent& event) {
    char time[32];
    std::snprintf(time, sizeof time, "%10lld µs  ", static_cast<long long>(event.Micros));
    std::string line = time;
    if (event.kind == TraceEvent::Kind::Sent || event.kind == TraceEvent::Kind::Received) {
        line += event.kind == TraceEvent::Kind::Sent ? "-> " : "<- ";
        line += HexBytes(event.Bytes);
        line += "  | ";
    } else {
        line += "   ";
    }
    return line + EventText(event, event.kind == TraceEvent::Kind::Sent);
}

std::string TraceJson(const TraceEvent& event) {
    std::string json =
        "{\"us\":" + std::to_string(event.Micros) + ",\"event\":\"" + KindName(event.kind) + "\"";
    if (event.kind == TraceEvent::Kind::Sent || event.kind == TraceEvent::Kind::Received) {
        json += ",\"bytes\":\"" + HexBytes(event.Bytes) + "\"";
        if (!IsText(event.Bytes)) {
            const FrameMeaning meaning =
                DecodeFrame(event.Bytes, event.kind == TraceEvent::Kind::Sent);
            json += ",\"result\":" + std::to_string(meaning.Result);
        }
    } else if (event.kind != TraceEvent::Kind::Purge && event.kind != TraceEvent::Kind::Lost) {
        json += ",\"value\":" + std::to_string(event.Value);
    }
    return json +
           ",\"text\":" + JsonString(EventText(event, event.kind == TraceEvent::Kind::Sent)) + "}";
}

std::string DeviceSideText(const std::vector<uint8_t>& bytes, bool heard) {
    return std::string(heard ? "<- " : "-> ") + HexBytes(bytes) + "  | " +
           DecodeFrame(bytes, heard).Text;
}
