// The people the benchmarks load: the same N people, from the same seed,
// for our driver and for SQLite, in every benchmark that compares the two,
// and the stopwatch that times them.
//
// A person is a surname form (masculine or feminine) and two initials, at
// most 30 bytes of 1251 text, born on a day drawn uniformly from 1930-01-01
// to 2010-12-31; person i (0-based) is record i + 1 and rowid i + 1.
#ifndef ZUNA_BENCH_PEOPLE_GENERATOR_H_
#define ZUNA_BENCH_PEOPLE_GENERATOR_H_

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"

namespace zuna::bench {

// Masculine forms; the feminine one adds "а" (-ов, -ев, -ин, -ын) or turns
// -ский into -ская.  No "ё", so byte order and alphabetical order agree.
inline constexpr const char* kSurnames[] = {
    "Иванов",    "Смирнов",   "Кузнецов",   "Попов",      "Васильев",
    "Петров",    "Соколов",   "Михайлов",   "Новиков",    "Федоров",
    "Морозов",   "Волков",    "Алексеев",   "Лебедев",    "Семенов",
    "Егоров",    "Павлов",    "Козлов",     "Степанов",   "Николаев",
    "Орлов",     "Андреев",   "Макаров",    "Никитин",    "Захаров",
    "Зайцев",    "Соловьев",  "Борисов",    "Яковлев",    "Григорьев",
    "Романов",   "Воробьев",  "Сергеев",    "Кузьмин",    "Фролов",
    "Александров", "Дмитриев", "Королев",   "Гусев",      "Киселев",
    "Ильин",     "Максимов",  "Поляков",    "Сорокин",    "Виноградов",
    "Ковалев",   "Белов",     "Медведев",   "Антонов",    "Тарасов",
    "Жуков",     "Баранов",   "Филиппов",   "Комаров",    "Давыдов",
    "Беляев",    "Герасимов", "Богданов",   "Осипов",     "Сидоров",
    "Матвеев",   "Титов",     "Марков",     "Миронов",    "Крылов",
    "Куликов",   "Карпов",    "Власов",     "Мельников",  "Денисов",
    "Гаврилов",  "Тихонов",   "Казаков",    "Афанасьев",  "Данилов",
    "Савельев",  "Тимофеев",  "Фомин",      "Чернов",     "Абрамов",
    "Мартынов",  "Ефимов",    "Федотов",    "Щербаков",   "Назаров",
    "Калинин",   "Исаев",     "Чернышев",   "Быков",      "Маслов",
    "Родионов",  "Коновалов", "Лазарев",    "Воронин",    "Климов",
    "Филатов",   "Пономарев", "Голубев",    "Кудрявцев",  "Прохоров",
    "Наумов",    "Потапов",   "Журавлев",   "Овчинников", "Трофимов",
    "Леонов",    "Соболев",   "Ермаков",    "Колесников", "Гончаров",
    "Емельянов", "Никифоров", "Грачев",     "Котов",      "Гришин",
    "Ефремов",   "Архипов",   "Громов",     "Кириллов",   "Малышев",
    "Панов",     "Моисеев",   "Румянцев",   "Акимов",     "Кондратьев",
    "Бирюков",   "Горбунов",  "Анисимов",   "Еремин",     "Тихомиров",
    "Галкин",    "Лукьянов",  "Михеев",     "Скворцов",   "Юдин",
    "Белоусов",  "Нестеров",  "Симонов",    "Прокофьев",  "Харитонов",
    "Князев",    "Цветков",   "Левин",      "Митрофанов", "Воронов",
    "Аксенов",   "Софронов",  "Мальцев",    "Логинов",    "Горшков",
    "Савин",     "Краснов",   "Майоров",    "Демидов",    "Елисеев",
    "Рыбаков",   "Сафонов",   "Плотников",  "Демин",      "Хохлов",
    "Жданов",    "Руденко",   "Шевченко",   "Ковальский", "Вишневский",
    "Островский", "Чайковский", "Покровский", "Успенский", "Яблоков",
};
inline constexpr char kInitials[] = "АБВГДЕЖЗИКЛМНОПРСТУФХЭЮЯ";  // UTF-8

// SplitMix64: deterministic, the same stream on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

 private:
  uint64_t state_;
};

// Date serial of a valid calendar date, from the runtime's own calendar:
// the bench needs plausible birth dates, not an independent check.
inline int32_t Serial(int y, unsigned m, unsigned d) {
  return zuna::values::SerialFromCivil(y, static_cast<int>(m), static_cast<int>(d));
}

struct Person {
  std::string fio;  // 1251, at most 30 bytes
  int32_t data;     // birth date serial, 1930-01-01 .. 2010-12-31
  int32_t data1;    // its 1-based number: record number and rowid alike
};

inline std::vector<std::string> SurnameForms() {
  std::vector<std::string> forms;
  for (const char* utf8 : kSurnames) {
    const std::string male = zuna::values::W(utf8);
    std::string female = male;
    const std::string sky = zuna::values::W("ский");
    const std::string tail2 = female.size() >= 2 ? female.substr(female.size() - 2) : "";
    if (female.size() > sky.size() &&
        female.compare(female.size() - sky.size(), sky.size(), sky) == 0) {
      female.replace(female.size() - 2, 2, zuna::values::W("ая"));
    } else if (tail2 == zuna::values::W("ов") || tail2 == zuna::values::W("ев") ||
               tail2 == zuna::values::W("ин") || tail2 == zuna::values::W("ын")) {
      female += zuna::values::W("а");
    } else {
      female.clear();  // -енко and the like do not change
    }
    forms.push_back(male);
    if (!female.empty()) forms.push_back(female);
  }
  return forms;
}

inline std::vector<Person> MakePeople(uint32_t n, const std::vector<std::string>& forms) {
  const std::string initials = zuna::values::W(kInitials);
  const int32_t first = Serial(1930, 1, 1);
  const int32_t span = Serial(2010, 12, 31) - first + 1;
  Random random(20261208);
  std::vector<Person> people;
  people.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    std::string fio = forms[random.Below(static_cast<uint32_t>(forms.size()))];
    fio += ' ';
    fio += initials[random.Below(static_cast<uint32_t>(initials.size()))];
    fio += '.';
    fio += initials[random.Below(static_cast<uint32_t>(initials.size()))];
    fio += '.';
    if (fio.size() > zuna::app::kZunFioSize) fio.resize(zuna::app::kZunFioSize);
    people.push_back({std::move(fio), first + static_cast<int32_t>(random.Below(span)),
                      static_cast<int32_t>(i + 1)});
  }
  return people;
}

// ---- Timing ----------------------------------------------------------------

// Wall seconds and process CPU seconds: on a busy machine the two differ.
struct Times {
  double wall = 0;
  double cpu = 0;
};

inline double CpuNow() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

class Stopwatch {
 public:
  Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(CpuNow()) {}
  Times Elapsed() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(),
            CpuNow() - cpu_};
  }

 private:
  std::chrono::steady_clock::time_point wall_;
  double cpu_;
};

// The time one run of `work` takes.
template <typename Work>
Times TimeOf(Work&& work) {
  Stopwatch watch;
  work();
  return watch.Elapsed();
}

}  // namespace zuna::bench

#endif  // ZUNA_BENCH_PEOPLE_GENERATOR_H_
