#include "link/Plcbox.h"

#include <algorithm>
#include <cstring>

#include "link/Exchangetrace.h"
#include "link/Realtime.h"

const std::array<const char*, 20> ResultTexts = {
    "Команда выполнена",
    "Неверно задан стартовый символ",
    "Неверно задан код функции",
    "Сбой при выполнении операции записи",
    "Сбой при выполнении операции чтения",
    "Ответ получен не полностью (превышено время между байтами)",
    "",
    "Несовпадение КС ответа контроллера",
    "",  // composed per refusal in MessageText
    "Функ.код ответа не равен функ.коду запроса",
    "Устройство не отвечает",
    "Неправильная длина ответа от контроллера",
    "Перестановка крана невозможна.",
    "",
    "",
    "Неверно задан номер таблицы (%d)",
    "Таблица %d только чтения",
    "",
    "Несоответствие идентификатора запроса в ответе(%d->%d)",
    "Обмен прерван по признаку завершения работы программы",
};

const std::array<const char*, 65> DeviceErrorTexts = {
    "",
    "Неизвестный код команды",
    "Неправильная длина запроса",
    "Неправильный пароль на запись",
    "Неправильные параметры в запросе",
    "Попытка записи в неиспользуемое поле",
    "Ввод даты и времени не допускается",
    "Нарушена очередность записи параметров при конфигурировании",
    "Функция останова ГРС не активна",
    "Нет такой таблицы",
    "Неподходящий момент для коррекции времени",
    "Чтение таблицы невозможно",
    "Запись в таблицу не допускается",
    "Нет такого поля в таблице",
    "Попытка записи в несуществующее поле",
    "Нет доступа к крану",
    "Неправильный пароль доступа к крану",
    "Слишком большое время для коррекции",
    "Нет записей с такими индексами",
    "Недостоверны индексы ведения архива",
    "Нарушена последовательность запросов в серии",
    "Другой диапазон времени в серии запросов",
    "Неправильный диапазон времени",
    "Таблица требует полной перезаписи",
    "Управление агрегатом невозможно",
    "Попытка записи более одного поля",
    "Недостаточный уровень доступа",
    "Пустое имя пользователя",
    "Пустой код идентификации пользователя",
    "Производитель/наладчик уже зарегистрирован",
    "Удаление производителя/наладчика не допускается",
    "Удаление последнего администратора не допускается",
    "Пользователь не может быть зарегистрирован",
    "Пользователь с таким именем уже есть ",
    "Пользователь не зарегистрирован или неправильный пароль",
    "Запись допускается только через специальный канал связи",
    "Индекс начального поля не соответствует ограничениям",
    "Кол. записываемых полей не соответствует ограничениям",
    "Переход в режим работы \"Автомат\" невозможен",
    "Указанного канала связи не существует",
    "К указанному каналу связи не подключены контроллеры",
    "Не получен ответ на ретранслированный запрос",
    "Идет таймаут временной записи",
    "Закончился таймаут для подачи команды постоянной записи",
    "Не совпадают данные в командах временной и постоянной записи",
    "Недопустимый код команды",
    "Неизвестный код сообщения",
    "Неизвестный код устройства",
    "Неправильная длина данных в сообщении",
    "Несовпадение КС поля данных",
    "Переполнение памяти контроллера",
    "Превышение лимита одновременно выполняемых команд",
    "Контроллер рестартовал",
    "Изменение параметров с удаленной ПЭВМ запрещено",
    "Невозможный режим работы",
    "Дата и время в норме",
    "Изменение параметров возможно только в режиме \"Настройка\"",
    "Программа опроса подключенных устройств в норме",
    "Не прошла запись в EEPROM",
    "Не прошла запись в FRAM",
    "Разрушена таблица",
    "Нарушены правила записи полей большой разрушенной таблицы",
    "Неподходящий момент для выполнения команды",
    "Не прошла запись в FLASH PROM",
    "Программа разрушена или установлена перемычка",
};

const char ExchangeStatusText[] = "Обмен...";

namespace {

// A request that the line cannot take in 50 ms per byte and 50 ms more is a failed write.
std::chrono::nanoseconds WriteLimit(size_t count) {
    return std::chrono::milliseconds(50 * static_cast<int64_t>(count) + 50);
}
constexpr int BitsPerByte = 10;  // start bit, eight data bits, stop bit
// The longest spin before the RTS drop: one byte's time at 9600 bit/s; slower rates sleep
// closer to it instead.
constexpr auto MaxSpin = std::chrono::microseconds(1000);

// Waits until just past deadline (failure is declared only after it), and never longer
// than one pump interval.
std::chrono::nanoseconds WaitFor(LinkTime deadline, LinkTime now, std::chrono::nanoseconds cap) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now) +
                      std::chrono::nanoseconds(1);
    return std::clamp<std::chrono::nanoseconds>(left, std::chrono::nanoseconds(1), cap);
}

}  // namespace

uint16_t FrameCheckSum(const uint8_t* data, uint16_t count) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

size_t BuildFrame(uint8_t start, uint8_t address, uint8_t functionCode, const uint8_t* data,
                  size_t length, uint8_t* out) {
    if (length > MaxDataLength || (length > 0 && !data)) {
        return 0;
    }
    const size_t frameLength = length + FrameOverhead;
    out[0] = start;
    out[1] = address;
    out[2] = static_cast<uint8_t>(frameLength);
    out[3] = functionCode;
    if (length > 0) {
        std::memcpy(out + 4, data, length);
    }
    const uint16_t sum = FrameCheckSum(out, static_cast<uint16_t>(frameLength - 2));
    out[frameLength - 2] = static_cast<uint8_t>(sum & 0xFF);
    out[frameLength - 1] = static_cast<uint8_t>(sum >> 8);
    return frameLength;
}

bool FrameSync::Take(uint8_t byte, uint8_t* frame) {
    frame[count_] = byte;
    switch (count_) {
        case 0:
            count_ = byte == start_ ? 1 : 0;
            break;
        case 1:
            // The address is tested first: a device may have the start symbol's number.
            count_ = byte == address_ ? 2 : byte == start_ ? 1 : 0;
            break;
        case 2:
            count_ = byte >= FrameOverhead ? 3 : 0;
            break;
        default:
            ++count_;
            break;
    }
    if (count_ == 1) {
        begin_ = taken_;
    }
    ++taken_;
    return count_ > 2 && count_ >= frame[2];
}

int32_t FrameSync::UnfinishedResult() const {
    return Started() ? ResultIncomplete : ResultNoAnswer;
}

int32_t CheckResponse(const uint8_t* frame, uint8_t requestCode) {
    const uint8_t length = frame[2];
    if (FrameCheckSum(frame, length) != 0) {
        return ResultCheckSum;
    }
    if (frame[3] != (requestCode | AcceptedBit)) {
        return RefusalError(frame + 4, length - FrameOverhead) == DeviceErrorValve ? ResultValve
                                                                                   : ResultRefused;
    }
    return ResultOk;
}

int RefusalError(const uint8_t* data, size_t length) {
    // A refusal without data carries no error code: shown as code 0, not as a check-sum byte.
    return length > 0 ? data[0] : 0;
}

LinkEngine::LinkEngine(uint8_t deviceAddress)
    : DeviceAddress(deviceAddress), TimerFrequency(QueryTimerFrequency()), Clock(&SystemClock()) {
    PrepareRealtime();
}

LinkDuration LinkEngine::Ticks(int64_t milliseconds) const {
    return LinkDuration(milliseconds * static_cast<int64_t>(TimerFrequency) / 1000);
}

bool LinkEngine::PumpMessages() {
    if (Ui) {
        Ui->ProcessMessages();
    }
    if (StopRequested) {
        ResultCode = ResultStopped;
        return false;
    }
    return true;
}

void LinkEngine::ShowExchangeStatus(const char* text) {
    if (Ui && StatusPanel >= 0) {
        Ui->SetPanelText(StatusPanel, text);
        Ui->ProcessMessages();
    }
}

RequestFate LinkEngine::AttemptFate(bool delivered) const {
    if (ResultCode == ResultOk) {
        return RequestFate::Confirmed;
    }
    if (!delivered) {
        return RequestFate::NotSent;
    }
    // A sound refusal says the device did nothing; anything else may have met a device
    // that acted and whose answer was lost.
    return ResultCode == ResultRefused || ResultCode == ResultValve ? RequestFate::Refused
                                                                    : RequestFate::Unconfirmed;
}

bool LinkEngine::ExecuteCommand(uint8_t functionCode, const uint8_t* data, size_t length) {
    ResultCode = ResultOk;
    Fate = RequestFate::NotSent;
    CommandCode = functionCode;
    if (Trace && Trace->Enabled()) {
        Trace->CommandStarted(functionCode);
    }
    RequestBuffer.fill(0);
    RequestBuffer[0] = RequestStart;
    RequestBuffer[1] = DeviceAddress;
    RequestBuffer[3] = functionCode;
    // Data longer than a frame can carry would wrap the length byte: not buildable either.
    const size_t frameLength = functionCode == TableExchange
                                   ? BuildFrame(RequestStart, DeviceAddress, functionCode, data,
                                                length, RequestBuffer.data())
                                   : 0;
    if (frameLength == 0) {
        ResultCode = ResultBadFunction;
        return false;
    }

    const int32_t keptFirstByteTimeout = FirstByteTimeout;
    const bool writesFields = RequestBuffer[9] > 0;
    if (writesFields) {
        FirstByteTimeout = static_cast<int32_t>(
            std::min<int64_t>(int64_t{FirstByteTimeout} + WriteFirstByteExtension, INT32_MAX));
    }
    ShowExchangeStatus(ExchangeStatusText);
    const int attempts = std::max<int>(1, Attempts);
    for (int attempt = 0; attempt < attempts && !StopRequested; ++attempt) {
        delivered_ = false;
        const bool answered = Transceive(frameLength);
        Fate = std::max(Fate, AttemptFate(delivered_));
        if (answered) {
            break;
        }
    }
    ShowExchangeStatus("");
    FirstByteTimeout = keptFirstByteTimeout;
    // A stop asked for while the answer came in still ends the command: what the caller
    // would do next is not to be done.
    if (StopRequested) {
        ResultCode = ResultStopped;
    }
    return ResultCode == ResultOk;
}

bool LinkEngine::LinkCall(const LinkStatus& status) {
    if (status) {
        return true;
    }
    LinkFailure = status.Cause();
    // Nothing has gone out: a line that has gone is a request not sent, as a failed write;
    // a port that is there and refuses (a rate its driver cannot set) says why.
    ResultCode = Port->LineLost() ? ResultWriteFailed : ResultLinkFault;
    return false;
}

bool LinkEngine::Transceive(size_t frameLength) {
    if (!PumpMessages()) {
        return false;
    }
    if (RequestBuffer[0] != RequestStart) {
        ResultCode = ResultBadStart;
        return false;
    }
    if (!Port) {
        ResultCode = ResultWriteFailed;
        return false;
    }
    std::array<uint8_t, 255 + 256> line{};
    std::fill_n(line.begin(), PreambleCount, PreambleByte);
    frameLength = std::min(frameLength, RequestBuffer.size());
    std::copy_n(RequestBuffer.begin(), frameLength, line.begin() + PreambleCount);
    const size_t total = PreambleCount + frameLength;

    const int32_t rate = LimitBaudRate(BaudRate);
    const bool converter = Port->Driver() == LineDriver::Converter;
    if (!LinkCall(Port->SetRate(rate)) || !LinkCall(Port->Flush()) ||
        !LinkCall(Port->SetDtr(true))) {
        return false;
    }
    // RTS stays up until the last bit has left, with one byte time to spare.
    const LinkDuration lineTime(static_cast<int64_t>((total + 1) * BitsPerByte * TimerFrequency /
                                                     static_cast<uint64_t>(rate)));
    if (converter) {
        // Over a network the converter drives the line: no RTS and none of its pauses.
        const LinkTime transmitted = Clock->Now() + lineTime;
        if (!Send(line.data(), total)) {
            return false;
        }
        ReceiveResponse(Clock->Now(), transmitted + RoundTripTicks());
    } else {
        // From RTS up to RTS down the work runs at a real-time priority where the system
        // gives one, so that a busy machine does not wake it late.
        bool sent = false;
        LinkTime dropped{};
        RunRealtime([&] { sent = SendHoldingRts(line.data(), total, lineTime, rate, dropped); });
        if (!sent) {
            return false;
        }
        if (Trace && Trace->Enabled()) {
            TraceEvent late;
            late.kind = TraceEvent::Kind::RtsDropError;
            late.Value = static_cast<int32_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(RtsDropError).count());
            Trace->Add(std::move(late));
        }
        ReceiveResponse(dropped, dropped);
    }
    if (ResultCode == ResultOk) {
        ResultCode = CheckResponse(ResponseBuffer.data(), RequestBuffer[3]);
        if (ResultCode == ResultRefused || ResultCode == ResultValve) {
            DecodeRefusal(&ResponseBuffer[4], ResponseBuffer[2] - FrameOverhead);
        }
    }
    // What is left of a broken answer goes; a failure here leaves the answer as it is,
    // and the next request's own flush says what became of the line.
    (void)Port->Flush();
    return ResultCode == ResultOk;
}

bool LinkEngine::Send(const uint8_t* data, size_t count) {
    const LinkStatus written = Port->Write(data, count, WriteLimit(count));
    if (!written) {
        LinkFailure = written.Cause();
        ResultCode = ResultWriteFailed;
        return false;
    }
    delivered_ = true;
    return true;
}

bool LinkEngine::SendHoldingRts(const uint8_t* data, size_t count, LinkDuration lineTime,
                                int32_t rate, LinkTime& dropped) {
    if (!LinkCall(Port->SetRts(true))) {
        return false;
    }
    Clock->SleepUntil(Clock->Now() + Ticks(RtsPause));
    // The line time is counted from just before the write: a clock read earlier could
    // let RTS drop before the last bit had left.
    const LinkTime transmitted = Clock->Now() + lineTime;
    if (!Send(data, count)) {
        return false;
    }
    // The spin before the drop is never longer than one byte's time on the line.
    const LinkDuration byteTime(
        static_cast<int64_t>(BitsPerByte * TimerFrequency / static_cast<uint64_t>(rate)));
    // The drop may run on the clock's second waiter: nothing else of the engine's is
    // touched until it has run.
    const bool down =
        Clock->RunPreciselyAt(transmitted, std::min<LinkDuration>(byteTime, MaxSpin), [&] {
            if (!LinkCall(Port->SetRts(false))) {
                return false;
            }
            dropped = Clock->Now();
            return true;
        });
    if (!down) {
        return false;
    }
    RtsDropError = dropped - transmitted;
    return true;
}

LinkDuration LinkEngine::RoundTripTicks() const {
    const auto trip = std::chrono::duration_cast<std::chrono::microseconds>(Port->RoundTrip());
    return LinkDuration(trip.count() * static_cast<int64_t>(TimerFrequency) / 1000000);
}

void LinkEngine::ReceiveResponse(LinkTime sent, LinkTime firstByteFrom) {
    const LinkTime firstByteDeadline = firstByteFrom + Ticks(FirstByteTimeout);
    const LinkDuration gapLimit = Ticks(NextByteTimeout);
    // Over a network the bytes come in whatever segments the converter and the network
    // make: the answer is judged whole, from its first byte, by the time its length takes
    // on the line with a margin for the network, never byte by byte.
    const bool converter = Port->Driver() == LineDriver::Converter;
    const LinkDuration networkMargin = Ticks(NetworkMarginMs) + RoundTripTicks() * 2;
    LinkTime firstByte{};
    LinkTime lastByte = sent;
    FrameSync sync(ResponseStart, DeviceAddress);
    ResultCode = ResultOk;
    const auto deadline = [&] {
        if (!sync.Started()) {
            return firstByteDeadline;
        }
        if (!converter) {
            return lastByte + gapLimit;
        }
        const int64_t length = sync.Accepted() >= 3 ? ResponseBuffer[2] : MaxFrameLength;
        const LinkDuration frameTime(length * BitsPerByte * static_cast<int64_t>(TimerFrequency) /
                                     LimitBaudRate(BaudRate));
        return firstByte + frameTime + std::max(gapLimit, networkMargin);
    };
    while (ResultCode == ResultOk) {
        if (!PumpMessages()) {
            return;
        }
        const LinkTime now = Clock->Now();
        const auto wait = WaitFor(deadline(), now, MaxPollWait);
        uint8_t byte = 0;
        const ReadStatus status = Port->ReadByte(byte, wait);
        if (status == ReadStatus::Failed) {
            LinkFailure = Port->ReadFailure();
            // A line that has gone brings nothing more: the answer ends here.
            if (Port->LineLost()) {
                ResultCode = sync.UnfinishedResult();
                return;
            }
            // A line that fails at once must not make this loop spin.
            Clock->SleepUntil(now + wait);
        } else if (status == ReadStatus::Byte) {
            const bool started = sync.Started();
            if (sync.Take(byte, ResponseBuffer.data())) {
                return;
            }
            lastByte = Clock->Now();
            if (!started && sync.Started()) {
                firstByte = lastByte;
            }
        }
        if (Clock->Now() > deadline()) {
            ResultCode = sync.UnfinishedResult();
        }
    }
}

void LinkEngine::DecodeRefusal(const uint8_t* data, size_t length) {
    const int error = RefusalError(data, length);
    if (error == DeviceErrorValve) {
        ResultCode = ResultValve;
        return;
    }
    if (error >= 1 && error < static_cast<int>(DeviceErrorTexts.size())) {
        MessageText = DeviceErrorTexts[static_cast<size_t>(error)];
    } else {
        MessageText = "Код ошибки = " + std::to_string(error);
    }
}

std::string LinkEngine::ResultText() const {
    if (ResultCode == ResultRefused) {
        return MessageText;
    }
    if (ResultCode == ResultLinkFault) {
        return LinkFaultPrefix + LinkFailure;
    }
    if (ResultCode < 0 || ResultCode >= static_cast<int32_t>(ResultTexts.size())) {
        return {};
    }
    return ResultTexts[static_cast<size_t>(ResultCode)];
}

std::string LinkEngine::CommandSummary() const {
    std::string summary = "Команда " + std::to_string(CommandCode) + ".  " + ResultText();
    // The device adds a number to "table destroyed"; only a refusal that long carries it,
    // the buffer of an earlier exchange does not count.
    if (ResultCode == ResultRefused && ResponseBuffer[2] >= 9 &&
        ResponseBuffer[4] == DeviceErrorDestroyedTable) {
        summary += ' ';
        summary += std::to_string(ResponseBuffer[6]);
    }
    return summary;
}
