#include "framework/data/error_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/values/code_page.h"

namespace zuna::framework {
namespace {

using values::W;

struct Expected {
  uint16_t id;
  uint8_t level;
  const char* title;    // UTF-8
  const char* message;  // UTF-8
};

// The message table as the program's documentation lists it, by id.
const Expected kTable[] = {
    {1, 5, "Ошибка доступа к записи",
     "Ошибка: (%ErrorText) возникла при доступе к файлу %File.  Возвращаемся к предыдущему окну."},
    {2, 5, "Доступ запрещен",
     "Невозможно производить запись в файл %File поэтому осуществляется только чтение."},
    {3, 1, "Запись добавлена",
     "Эта запись была добавлена к файлу. Желаете добавить еще одну?"},
    {4, 5, "Ошибка добавления записи",
     "Возникла ошибка при создании записи. Ошибка: %ErrorText."},
    {5, 5, "Добавить новую запись?",
     "Нужная запись не найдена, добавить новую запись?"},
    {6, 5, "Ошибка доступа к файлу",
     "Файл %File не может быть закрыт.  Ошибка: %ErrorText."},
    {7, 5, "Запись не обновляется",
     "Запись была изменена другой рабочей станцией."},
    {8, 5, "Запись не обновляется",
     "Эта запись была изменена другой рабочей станцией. Эти изменения сейчас отображены на экране. Используйте кнопку \"Ditto\" или Ctrl+\" для отображения выших изменений этой записи.' для пере вызова ваших изменений."},
    {9, 5, "Ошибка чтения записи",
     "Запись изменена или удалена с другого компьютера.|Ошибка: (%ErrorText)  Попытка доступа к записи файла %File."},
    {10, 1, "Изменения будут потеряны!",
     "Вы уверены что желаете отменить?"},
    {11, 1, "Подтвердите Удаление",
     "Вы уверены что желаете удалить выделенную запись?"},
    {12, 3, "Ошибка создания файла",
     "Ошибка: (%ErrorText) создания %File."},
    {13, 5, "Запись не удаляется",
     "Возникла ошибка (%ErrorText) при удалении записи из %File файла."},
    {14, 5, "Неверный запрос",
     "Эта форма не может быть использована для удаления записи"},
    {15, 5, "Ошибка дублирования в ключе",
     "Добавление этой записи создает дублирование для ключа: %Message"},
    {16, 5, "Ошибка содержимого поля",
     "Значение поля %Field должно находиться в файле %Message."},
    {17, 5, "Ошибка значения",
     "Значение %Field должно быть в списке: %Message."},
    {18, 5, "Ошибка интервала",
     "Значение поля %Field должно быть в диапазоне %Message."},
    {19, 5, "Ошибка интервала",
     "Значение %Field должно быть меньше чем %Message."},
    {20, 5, "Ошибка интервала",
     "Значение %Field должно быть больше чем %Message."},
    {21, 5, "Ошибка загрузки файла",
     "%File File Load Error.  Error: %ErrorText."},
    {22, 3, "Ошибка разборки отчёта",
     "Чтение следующей записи из файла %File неудачно."},
    {23, 5, "Неверный запрос",
     "Эта форма не может быть использована для добавления записи"},
    {24, 5, "Транзакция отменена",
     "Ошибка: (%ErrorText) невозможно выполнить транзакцию для %File."},
    {25, 5, "Нет записей",
     "Нет записей доступных процессу."},
    {26, 3, "Ошибка доступа к файлу",
     "Файл %File не может быть открыт.  Ошибка: %ErrorText."},
    {27, 5, "Процедура не определена",
     "Процедура %Message не была определена."},
    {28, 5, "Запись не обновляется",
     "Возникла ошибка (%ErrorText) при внесении изменений в файл %File."},
    {29, 3, "Ключ не построен",
     "Ошибка: (%ErrorText) восстановления ключа для %File."},
    {30, 5, "Неверный ключ",
     "Файл %File - ключ испорчен. Ключ необходимо перестроить."},
    {31, 5, "Запись не читается",
     "Запись захвачена другой рабочей станцией, невозможно чтение файла %File."},
    {32, 5, "Достигнуто разрешенное количество записей",
     "Невозможна запись в файл %File. Файл был открыт только для чтения."},
    {33, 5, "Ошибка удаления связанной записи",
     "Эта запись связана с файлом %File. Удаление записи невозможно пока существует эта связь."},
    {34, 5, "Ошибка обновления связанной записи",
     "Эта запись связана с файлом %File. Связанные поля не позволили произвести изменения и были установлены в свои оригинальные значения."},
    {35, 1, "Ошибка автоматического увеличения",
     "Попытка автоматического нумерования этой записи привела к ошибке: %ErrorText. Попробовать еще раз?"},
    {36, 1, "Ошибка удаления записи",
     "Возникла ошибка при удалении записи. Желаете попробовать удалить еще раз?"},
    {37, 1, "Ошибка перезаписи",
     "Возникла ошибка при изменений записи. Желаете попробовать записать еще раз?"},
    {38, 1, "Сохранение записи",
     "Вы хотите записать изменения для этой записи?"},
    {39, 1, "Ошибка начала файла",
     "Достигнуто начало файла. Желаете начать снова с конца файла?"},
    {40, 1, "Ошибка \"Конец Файла\"",
     "Достигнут конец файла. Желаете начать снова с начала файла?"},
    {41, 5, "Неверный запрос",
     "Эта форма не может быть использована для изменения записи"},
    {42, 2, "Ошибка использования файла",
     "Попытка работы с файлом (%File) до его открытия "},
    {43, 5, "Ошибка открытия представления",
     "Ошибка: (%ErrorText) возникла при открытии текущего представления. Проигнорирован фильтр и интервал (Filter and Range Limits)."},
    {44, 5, "Неподдерживаемый столбец фильтра",
     "Сохранённый столбец фильтра %Field не поддерживается. Будет удалён из запроса."},
    {45, 5, "Ошибка SMTP",
     "Произошла ошибка SMTP: %Message "},
    {46, 5, "Ошибка NNTP",
     "%Message "},
    {47, 5, "Ошибка Winsock",
     "%Message "},
    {48, 3, "Ошибка разборки отчёта",
     "Не удалось добавить запись в очередь при разборке %File."},
    {49, 3, "Ошибка разборки отчёта",
     "Файл %File - это не правильный файл WMF."},
    {50, 3, "Ошибка разборки отчёта",
     "Неверный объект %Field при разборке %File."},
    {51, 3, "Ошибка разборки отчёта",
     "Не найдено имя %Field при разборке %File."},
    {52, 5, "Ошибка генератора отчётов",
     "Неверно сформированное примечание \"%Message\" в позиции %Field."},
    {53, 5, "Ошибка Генератора Отчётов",
     "Неизвестное свойство %Message."},
};

TEST(DefaultErrorsTest, BlockHoldsFiftyThreeEntries) {
  const std::string_view block = DefaultErrors();
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(block[0]), 53);
  EXPECT_EQ(static_cast<uint8_t>(block[1]), 0);
  EXPECT_EQ(block.size(), 4584u);
  EXPECT_EQ(block.size(), kDefaultErrorBlockSize);
}

TEST(DefaultErrorsTest, FirstEntryBytes) {
  // Id 30 (1Eh 00h), level 5, then the title "Неверный ключ" (13 letters).
  const std::string_view block = DefaultErrors();
  EXPECT_EQ(static_cast<uint8_t>(block[2]), 0x1E);
  EXPECT_EQ(static_cast<uint8_t>(block[3]), 0x00);
  EXPECT_EQ(static_cast<uint8_t>(block[4]), 5);
  EXPECT_EQ(static_cast<uint8_t>(block[5]), 13);
  EXPECT_EQ(block.substr(6, 13), W("Неверный ключ"));
}

TEST(DefaultErrorsTest, EntriesAreStoredInTheirOwnOrder) {
  const auto entries = ParseErrorBlock(DefaultErrors());
  ASSERT_TRUE(entries.has_value());
  const std::vector<uint32_t> order = {
      30, 29, 12, 27, 19, 20, 18, 16, 34, 33, 4,  7,  8,  37, 36, 23, 41, 14,
      10, 15, 35, 21, 39, 40, 6,  26, 28, 13, 11, 38, 24, 1,  43, 3,  31, 5,
      17, 25, 2,  42, 32, 44, 45, 46, 47, 49, 22, 51, 50, 48, 52, 53, 9};
  std::vector<uint32_t> ids;
  for (const ErrorEntryGroup& entry : *entries) ids.push_back(entry.Id);
  EXPECT_EQ(ids, order);
}

TEST(DefaultErrorsTest, EveryTitleMessageAndLevelIsExact) {
  const auto entries = ParseErrorBlock(DefaultErrors());
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), std::size(kTable));
  for (const Expected& expected : kTable) {
    SCOPED_TRACE(expected.id);
    const ErrorEntryGroup* found = nullptr;
    for (const ErrorEntryGroup& entry : *entries) {
      if (entry.Id == expected.id) found = &entry;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Fatality, expected.level);
    EXPECT_EQ(found->Title, W(expected.title));
    EXPECT_EQ(found->Message, W(expected.message));
    EXPECT_TRUE(found->Category.empty());
  }
}

TEST(DefaultErrorsTest, TextsWithTrailingBlanksAndBars) {
  const auto entries = ParseErrorBlock(DefaultErrors());
  ASSERT_TRUE(entries.has_value());
  for (const ErrorEntryGroup& entry : *entries) {
    if (entry.Id == Msg::FileNotOpen) {
      ASSERT_FALSE(entry.Message.empty());
      EXPECT_EQ(entry.Message.back(), ' ');
      EXPECT_NE(entry.Message[entry.Message.size() - 2], ' ');
    }
    if (entry.Id == Msg::RecordReadFailed) {
      EXPECT_NE(entry.Message.find('|'), std::string::npos);
      EXPECT_NE(entry.Message.find("(%ErrorText)  "), std::string::npos);
    }
    if (entry.Id == Msg::NntpError || entry.Id == Msg::WinsockError) {
      EXPECT_EQ(entry.Message, "%Message ");
    }
  }
}

TEST(ErrorBlockTest, PackAndParseAgree) {
  std::vector<ErrorEntryGroup> entries(2);
  entries[0].Id = 0x1234;
  entries[0].Fatality = 7;
  entries[0].Title = "T";
  entries[0].Message = "";
  entries[1].Id = 1;
  entries[1].Fatality = 0;
  entries[1].Title = "";
  entries[1].Message = "ab";
  const std::string block = PackErrorBlock(entries);
  EXPECT_EQ(block, std::string("\x02\x00"
                               "\x34\x12\x07\x01T\x00"
                               "\x01\x00\x00\x00\x02"
                               "ab",
                               15));
  EXPECT_EQ(ParseErrorBlock(block), entries);
}

TEST(ErrorBlockTest, ShortBlockKeepsTheEntriesBeforeTheDamage) {
  const std::string block("\x03\x00"
                          "\x05\x00\x01\x01T\x01M"
                          "\x06\x00\x01\x05Title",
                          17);
  std::vector<ErrorEntryGroup> complete;
  EXPECT_FALSE(ParseErrorBlock(block, &complete).has_value());
  ASSERT_EQ(complete.size(), 1u);
  EXPECT_EQ(complete[0].Id, 5u);
  EXPECT_EQ(complete[0].Message, "M");
  EXPECT_FALSE(ParseErrorBlock(std::string_view("\x01", 1)).has_value());
}

}  // namespace
}  // namespace zuna::framework
