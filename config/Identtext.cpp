#include "config/Identtext.h"

#include <cstdio>

#include "config/Configimage.h"

namespace {

std::string Printf(const char* format, int a, int b = 0, int c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Number(uint8_t value) {
    return Printf("%d", value);
}

// A date or time part: two digits, or "**" when the device reports a value out of range.
std::string DatePart(uint8_t value, int lowest, int highest) {
    return value >= lowest && value <= highest ? Printf("%02d", value) : "**";
}

std::string SoftwareVersionText(uint8_t version) {
    switch (version) {
        case 3:
            return "3 (Чтение и запись)";
        case 4:
            return "4 (Только чтение)";
        case 5:
            return "5 (Чтение и запись)";
        case 6:
            return "6 (Только чтение)";
        default:
            return Number(version);
    }
}

// Without the device's own block only the class is known: read-write or read-only
// variant of the same generation.
std::string SoftwareVersionClassText(uint8_t version) {
    switch (version) {
        case 3:
            return "3 или 4";
        case 5:
            return "5 или 6";
        default:
            return Number(version);
    }
}

std::string ByteOrderText(uint8_t order) {
    switch (order) {
        case 0:
            return "Мл. адрес - ст. байт";
        case 1:
            return "Мл. адрес - мл. байт";
        default:
            return " ? ";
    }
}

std::string BuildDateText(const uint8_t* ident) {
    return DatePart(ident[IdentDay], 1, 31) + "." + DatePart(ident[IdentMonth], 1, 12) + "." +
           DatePart(ident[IdentYear], 0, 99) + "  " + DatePart(ident[IdentHour], 0, 23) + ":" +
           DatePart(ident[IdentMinute], 0, 59) + ":" + DatePart(ident[IdentSecond], 0, 59);
}

}  // namespace

const std::array<std::array<const char*, 3>, IdentRowCount> IdentCaptions = {{
    {"Код типа контроллера", nullptr, nullptr},
    {"Версия аппаратного обеспечения", nullptr, nullptr},
    {"Версия программного обеспечения", nullptr, nullptr},
    {"Дата создания ПО", nullptr, nullptr},
    {"Порядок расположения байтов", nullptr, nullptr},
    {"Наличие разрушенных таблиц", nullptr, nullptr},
    {"Возможность работы на разных", "скоростях обмена", nullptr},
    {"Возможность изменения адреса", "контроллера", nullptr},
    {"Номер последней версии протокола", "KRV-DM71-S, которая поддерживается", "контроллером"},
}};

std::string IdentCaption(int row) {
    std::string caption;
    for (const char* line : IdentCaptions[static_cast<size_t>(row)]) {
        if (line) {
            if (!caption.empty()) {
                caption += ' ';
            }
            caption += line;
        }
    }
    return caption;
}

std::array<std::string, IdentRowCount> IdentValues(const uint8_t* ident, bool fullMode) {
    std::array<std::string, IdentRowCount> values;
    values[IdentRowTypeCode] = Number(ident[IdentTypeCode]);
    if (!fullMode) {
        values[IdentRowSoftware] = SoftwareVersionClassText(ident[IdentSoftwareVersion]);
        return values;
    }
    values[IdentRowHardware] = Number(ident[IdentHardwareVersion]);
    values[IdentRowSoftware] = SoftwareVersionText(ident[IdentSoftwareVersion]);
    values[IdentRowBuildDate] = BuildDateText(ident);
    values[IdentRowByteOrder] = ByteOrderText(ident[IdentByteOrder]);
    const uint8_t destroyed = ident[IdentDestroyedTable];
    values[IdentRowDestroyed] =
        destroyed != 0 ? Printf("Разрушена таблица %d", destroyed) : "Разрушенных таблиц нет";
    values[IdentRowMultiRate] = ident[IdentMultiRate] != 0 ? "Есть" : "Нет";
    const uint8_t fixedAddress = ident[IdentFixedAddress];
    values[IdentRowAddress] = fixedAddress != 0 ? Printf("Нет. Адрес = %d", fixedAddress) : "Есть";
    values[IdentRowProtocol] = Printf("%d.%d.%d", ident[IdentProtocolMajor],
                                      ident[IdentProtocolMinor], ident[IdentProtocolRelease]);
    return values;
}

bool DeviceServed(const uint8_t* ident, std::string& first, std::string& second) {
    const int type = ident[IdentTypeCode];
    const int version = ident[IdentSoftwareVersion];
    if (type != DeviceTypeCode) {
        first = "Код типа подключенного устройства  " + std::to_string(type);
        second = "Программа обслуживает зантиры zrt16-mk";
        return false;
    }
    if (version < 3 || version > 6) {
        first = "У подключенного зантира версия ПО = " + std::to_string(version) + ".";
        second = "Программа обслуживает зантиры только с версией ПО от 3 до 6";
        return false;
    }
    return true;
}
