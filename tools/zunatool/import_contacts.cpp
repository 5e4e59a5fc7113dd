#include "tools/zunatool/import_contacts.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "tools/zunatool/csv_people.h"
#include "tools/zunatool/import_people.h"
#include "tools/zunatool/register_file.h"

namespace zuna::tool {
namespace {

bool HasVcardName(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "vcf" || extension == "vcard";
}

int ImportCsv(const std::string& file_name, const std::string& path) {
  std::vector<Person> people;
  if (auto why = ReadCsv(path, &people)) return Refuse(*why);
  return ImportPeople(file_name, people);
}

}  // namespace

std::string ImportSummary(const VcardPeople& found) {
  const int skipped = found.cards - static_cast<int>(found.people.size());
  std::string text = "Добавлено: " + std::to_string(found.people.size()) + "\n";
  text += "Пропущено: " + std::to_string(skipped);
  std::string reasons;
  const auto reason = [&reasons](int count, const char* why) {
    if (count == 0) return;
    if (!reasons.empty()) reasons += ", ";
    reasons += std::string(why) + ": " + std::to_string(count);
  };
  reason(found.no_birthday, "без даты рождения");
  reason(found.no_year, "дата без года");
  reason(found.bad_date, "дата не полная или вне 1801-9999");
  reason(found.bad_name, "имя не годится");
  if (!reasons.empty()) text += " (" + reasons + ")";
  text += "\n";
  if (found.names_cut > 0) text += "Сокращено имён: " + std::to_string(found.names_cut) + "\n";
  return text;
}

int ImportContacts(const std::string& file_name, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Refuse("не удаётся прочитать " + path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!LooksLikeVcard(text) && !HasVcardName(path)) return ImportCsv(file_name, path);

  VcardPeople found;
  if (auto why = ReadVcard(text, &found)) return Refuse(path + ", " + *why);
  for (const std::string& note : found.notes) {
    std::cerr << "zunatool: " << path << ", " << note << '\n';
  }
  const int result = ImportPeople(file_name, found.people);
  if (result == 0) std::cout << ImportSummary(found);
  return result;
}

}  // namespace zuna::tool
