#include "config/Stringi.h"

const std::array<const char*, TableCount> TableNames = {
    "Общие параметры идентификации",
    "Наличие значения скорости обмена",
    "",
    "Параметры связи",
    "",
    "Командная строка модема",
    "Скорость обмена с подкл. вычислителем и порт подключения",
    "Требуется восстановление таблицы ",
};

const char* TableName(int table) {
    if (table < 0 || table >= static_cast<int>(TableNames.size())) {
        return "";
    }
    return TableNames[static_cast<size_t>(table)];
}
