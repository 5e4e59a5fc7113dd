#include "framework/data/error_table.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "runtime/values/code_page.h"

namespace zuna::framework {
namespace {

struct SourceEntry {
  uint16_t id;
  uint8_t level;
  std::string_view title;    // UTF-8 here, Windows-1251 in the block
  std::string_view message;
};

// The built-in table in its stored order.  Ids 45-53 belong to mail and
// report components this program does not use; they stay in the block so
// that it keeps its shape.  The texts are kept exactly as they have always
// read, slips included.
constexpr SourceEntry kDefaultErrors[] = {
    {Msg::KeyCorrupt, Level::Notify,
     "Неверный ключ",
     "Файл %File - ключ испорчен. Ключ необходимо перестроить."},
    {Msg::KeyRebuildFailed, Level::Fatal,
     "Ключ не построен",
     "Ошибка: (%ErrorText) восстановления ключа для %File."},
    {Msg::CreateFailed, Level::Fatal,
     "Ошибка создания файла",
     "Ошибка: (%ErrorText) создания %File."},
    {Msg::ProcedureMissing, Level::Notify,
     "Процедура не определена",
     "Процедура %Message не была определена."},
    {Msg::FieldAboveUpper, Level::Notify,
     "Ошибка интервала",
     "Значение %Field должно быть меньше чем %Message."},
    {Msg::FieldBelowLower, Level::Notify,
     "Ошибка интервала",
     "Значение %Field должно быть больше чем %Message."},
    {Msg::FieldOutOfRange, Level::Notify,
     "Ошибка интервала",
     "Значение поля %Field должно быть в диапазоне %Message."},
    {Msg::FieldNotInFile, Level::Notify,
     "Ошибка содержимого поля",
     "Значение поля %Field должно находиться в файле %Message."},
    {Msg::RelatedBlocksChange, Level::Notify,
     "Ошибка обновления связанной записи",
     "Эта запись связана с файлом %File. Связанные поля не позволили произвести изменения и были установлены в свои оригинальные значения."},
    {Msg::RelatedBlocksDelete, Level::Notify,
     "Ошибка удаления связанной записи",
     "Эта запись связана с файлом %File. Удаление записи невозможно пока существует эта связь."},
    {Msg::InsertFailed, Level::Notify,
     "Ошибка добавления записи",
     "Возникла ошибка при создании записи. Ошибка: %ErrorText."},
    {Msg::RecordChangedElsewhere, Level::Notify,
     "Запись не обновляется",
     "Запись была изменена другой рабочей станцией."},
    {Msg::RecordChangedShown, Level::Notify,
     "Запись не обновляется",
     "Эта запись была изменена другой рабочей станцией. Эти изменения сейчас отображены на экране. Используйте кнопку \"Ditto\" или Ctrl+\" для отображения выших изменений этой записи.' для пере вызова ваших изменений."},
    {Msg::UpdateRetry, Level::User,
     "Ошибка перезаписи",
     "Возникла ошибка при изменений записи. Желаете попробовать записать еще раз?"},
    {Msg::DeleteRetry, Level::User,
     "Ошибка удаления записи",
     "Возникла ошибка при удалении записи. Желаете попробовать удалить еще раз?"},
    {Msg::FormCannotInsert, Level::Notify,
     "Неверный запрос",
     "Эта форма не может быть использована для добавления записи"},
    {Msg::FormCannotChange, Level::Notify,
     "Неверный запрос",
     "Эта форма не может быть использована для изменения записи"},
    {Msg::FormCannotDelete, Level::Notify,
     "Неверный запрос",
     "Эта форма не может быть использована для удаления записи"},
    {Msg::ConfirmCancel, Level::User,
     "Изменения будут потеряны!",
     "Вы уверены что желаете отменить?"},
    {Msg::DuplicateKey, Level::Notify,
     "Ошибка дублирования в ключе",
     "Добавление этой записи создает дублирование для ключа: %Message"},
    {Msg::AutoNumberRetry, Level::User,
     "Ошибка автоматического увеличения",
     "Попытка автоматического нумерования этой записи привела к ошибке: %ErrorText. Попробовать еще раз?"},
    {Msg::FileLoadFailed, Level::Notify,
     "Ошибка загрузки файла",
     "%File File Load Error.  Error: %ErrorText."},
    {Msg::StartOfFileWrap, Level::User,
     "Ошибка начала файла",
     "Достигнуто начало файла. Желаете начать снова с конца файла?"},
    {Msg::EndOfFileWrap, Level::User,
     "Ошибка \"Конец Файла\"",
     "Достигнут конец файла. Желаете начать снова с начала файла?"},
    {Msg::CloseFailed, Level::Notify,
     "Ошибка доступа к файлу",
     "Файл %File не может быть закрыт.  Ошибка: %ErrorText."},
    {Msg::OpenFailed, Level::Fatal,
     "Ошибка доступа к файлу",
     "Файл %File не может быть открыт.  Ошибка: %ErrorText."},
    {Msg::UpdateFailed, Level::Notify,
     "Запись не обновляется",
     "Возникла ошибка (%ErrorText) при внесении изменений в файл %File."},
    {Msg::DeleteFailed, Level::Notify,
     "Запись не удаляется",
     "Возникла ошибка (%ErrorText) при удалении записи из %File файла."},
    {Msg::ConfirmDelete, Level::User,
     "Подтвердите Удаление",
     "Вы уверены что желаете удалить выделенную запись?"},
    {Msg::ConfirmSave, Level::User,
     "Сохранение записи",
     "Вы хотите записать изменения для этой записи?"},
    {Msg::TransactionFailed, Level::Notify,
     "Транзакция отменена",
     "Ошибка: (%ErrorText) невозможно выполнить транзакцию для %File."},
    {Msg::RecordAccessFailed, Level::Notify,
     "Ошибка доступа к записи",
     "Ошибка: (%ErrorText) возникла при доступе к файлу %File.  Возвращаемся к предыдущему окну."},
    {Msg::ViewOpenFailed, Level::Notify,
     "Ошибка открытия представления",
     "Ошибка: (%ErrorText) возникла при открытии текущего представления. Проигнорирован фильтр и интервал (Filter and Range Limits)."},
    {Msg::AddAnother, Level::User,
     "Запись добавлена",
     "Эта запись была добавлена к файлу. Желаете добавить еще одну?"},
    {Msg::RecordHeldElsewhere, Level::Notify,
     "Запись не читается",
     "Запись захвачена другой рабочей станцией, невозможно чтение файла %File."},
    {Msg::AskAddMissing, Level::Notify,
     "Добавить новую запись?",
     "Нужная запись не найдена, добавить новую запись?"},
    {Msg::FieldNotInList, Level::Notify,
     "Ошибка значения",
     "Значение %Field должно быть в списке: %Message."},
    {Msg::NoRecordsToProcess, Level::Notify,
     "Нет записей",
     "Нет записей доступных процессу."},
    {Msg::WriteDenied, Level::Notify,
     "Доступ запрещен",
     "Невозможно производить запись в файл %File поэтому осуществляется только чтение."},
    {Msg::FileNotOpen, Level::Program,
     "Ошибка использования файла",
     "Попытка работы с файлом (%File) до его открытия "},
    {Msg::FileReadOnly, Level::Notify,
     "Достигнуто разрешенное количество записей",
     "Невозможна запись в файл %File. Файл был открыт только для чтения."},
    {Msg::FilterColumnUnsupported, Level::Notify,
     "Неподдерживаемый столбец фильтра",
     "Сохранённый столбец фильтра %Field не поддерживается. Будет удалён из запроса."},
    {Msg::SmtpError, Level::Notify,
     "Ошибка SMTP",
     "Произошла ошибка SMTP: %Message "},
    {Msg::NntpError, Level::Notify,
     "Ошибка NNTP",
     "%Message "},
    {Msg::WinsockError, Level::Notify,
     "Ошибка Winsock",
     "%Message "},
    {Msg::ReportNotMetafile, Level::Fatal,
     "Ошибка разборки отчёта",
     "Файл %File - это не правильный файл WMF."},
    {Msg::ReportReadNextFailed, Level::Fatal,
     "Ошибка разборки отчёта",
     "Чтение следующей записи из файла %File неудачно."},
    {Msg::ReportNameNotFound, Level::Fatal,
     "Ошибка разборки отчёта",
     "Не найдено имя %Field при разборке %File."},
    {Msg::ReportBadObject, Level::Fatal,
     "Ошибка разборки отчёта",
     "Неверный объект %Field при разборке %File."},
    {Msg::ReportQueueAddFailed, Level::Fatal,
     "Ошибка разборки отчёта",
     "Не удалось добавить запись в очередь при разборке %File."},
    {Msg::ReportBadNote, Level::Notify,
     "Ошибка генератора отчётов",
     "Неверно сформированное примечание \"%Message\" в позиции %Field."},
    {Msg::ReportUnknownProperty, Level::Notify,
     "Ошибка Генератора Отчётов",
     "Неизвестное свойство %Message."},
    {Msg::RecordReadFailed, Level::Notify,
     "Ошибка чтения записи",
     "Запись изменена или удалена с другого компьютера.|Ошибка: (%ErrorText)  Попытка доступа к записи файла %File."},
};
static_assert(std::size(kDefaultErrors) == kDefaultErrorCount);

void PutUint16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

void PutText(std::string& out, std::string_view text) {
  const size_t size = std::min<size_t>(text.size(), 255);
  out.push_back(static_cast<char>(size));
  out.append(text.substr(0, size));
}

std::string BuildDefaultErrors() {
  std::vector<ErrorEntryGroup> entries;
  entries.reserve(std::size(kDefaultErrors));
  for (const SourceEntry& source : kDefaultErrors) {
    ErrorEntryGroup entry;
    entry.Id = source.id;
    entry.Fatality = source.level;
    entry.Title = values::Utf8ToCp1251(source.title);
    entry.Message = values::Utf8ToCp1251(source.message);
    entries.push_back(std::move(entry));
  }
  return PackErrorBlock(entries);
}

}  // namespace

std::string_view DefaultErrors() {
  static const std::string* const block = new std::string(BuildDefaultErrors());
  return *block;
}

std::string PackErrorBlock(const std::vector<ErrorEntryGroup>& entries) {
  std::string out;
  PutUint16(out, static_cast<uint16_t>(entries.size()));
  for (const ErrorEntryGroup& entry : entries) {
    PutUint16(out, static_cast<uint16_t>(entry.Id));
    out.push_back(static_cast<char>(entry.Fatality));
    PutText(out, entry.Title);
    PutText(out, entry.Message);
  }
  return out;
}

std::optional<std::vector<ErrorEntryGroup>> ParseErrorBlock(
    std::string_view block, std::vector<ErrorEntryGroup>* complete) {
  std::vector<ErrorEntryGroup> entries;
  size_t pos = 0;
  auto byte = [&](size_t at) { return static_cast<uint8_t>(block[at]); };
  auto fail = [&]() -> std::optional<std::vector<ErrorEntryGroup>> {
    if (complete != nullptr) *complete = std::move(entries);
    return std::nullopt;
  };
  auto text = [&](std::string* out) {
    if (pos >= block.size()) return false;
    const size_t size = byte(pos++);
    if (block.size() - pos < size) return false;
    out->assign(block.substr(pos, size));
    pos += size;
    return true;
  };
  if (block.size() < 2) return fail();
  const size_t count = byte(0) | (byte(1) << 8);
  pos = 2;
  for (size_t i = 0; i < count; ++i) {
    ErrorEntryGroup entry;
    if (block.size() - pos < 3) return fail();
    entry.Id = byte(pos) | (byte(pos + 1) << 8);
    entry.Fatality = byte(pos + 2);
    pos += 3;
    if (!text(&entry.Title) || !text(&entry.Message)) return fail();
    entries.push_back(std::move(entry));
  }
  if (complete != nullptr) *complete = entries;
  return entries;
}

}  // namespace zuna::framework
