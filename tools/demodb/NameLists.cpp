#include "demodb/NameLists.h"

#include "demodb/MacC.h"

#include <span>
#include <stdexcept>
#include <string_view>

namespace demodb {
namespace {

constexpr std::size_t firstNameSize = 15;
constexpr std::size_t surnameSize = 20;

constexpr std::string_view maleFirstNamesInCyrillic[] = {
    "Александар", "Никола",  "Марко",  "Стефан",   "Давид",  "Филип",  "Петар",  "Горан",   "Зоран",
    "Драган",     "Дејан",   "Игор",   "Владимир", "Бојан",  "Љупчо",  "Ѓорѓи",  "Кирил",   "Методија",
    "Трајче",     "Благоја", "Живко",  "Ненад",    "Дарко",  "Саше",   "Бранко", "Тони",    "Васил",
    "Христијан",  "Јован",   "Младен", "Оливер",   "Славчо", "Ивица",  "Тодор",  "Здравко", "Ќирил",
    "Ацо",        "Бобан",   "Душко",  "Илија",    "Жарко",  "Мартин", "Лука",   "Андреј",  "Виктор",
};

constexpr std::string_view femaleFirstNamesInCyrillic[] = {
    "Марија",  "Ана",      "Елена",      "Јована",   "Сара",    "Ивана",      "Биљана",  "Жаклина",  "Снежана",
    "Весна",   "Марина",   "Катерина",   "Даниела",  "Благица", "Ѓурѓица",    "Љубица",  "Цветанка", "Софија",
    "Симона",  "Теодора",  "Наташа",     "Татјана",  "Гордана", "Лидија",     "Мирјана", "Сузана",   "Валентина",
    "Душица",  "Светлана", "Ирена",      "Верица",   "Емилија", "Александра", "Бранка",  "Силвана",  "Фросина",
    "Славица", "Христина", "Анастасија", "Ангелина", "Милка",   "Нада",       "Жанета",  "Ружица",   "Вера",
};

// Fathers of the insured persons belong to an older generation, so their names lean to older usage.
constexpr std::string_view fathersNamesInCyrillic[] = {
    "Трајко", "Ристо",  "Благоја", "Петре", "Стојан",     "Ѓорѓи", "Илија",  "Методија", "Кире",
    "Живко",  "Спасе",  "Славе",   "Томе",  "Борис",      "Андон", "Богдан", "Велко",    "Вангел",
    "Митре",  "Насте",  "Коце",    "Зоре",  "Јордан",     "Ѓоко",  "Аце",    "Панче",    "Лазо",
    "Мирче",  "Никола", "Пецо",    "Тоше",  "Цане",       "Чедо",  "Душко",  "Ќирил",    "Љубе",
    "Јане",   "Крсте",  "Страшо",  "Гоце",  "Александар", "Горан", "Зоран",  "Драган",   "Владимир",
};

// Surnames in their masculine form; the feminine form is made by feminineSurname().
constexpr std::string_view surnamesInCyrillic[] = {
    "Петровски",   "Николовски", "Јовановски",  "Стојановски", "Трајковски", "Димитровски", "Ангеловски",
    "Ристовски",   "Илиевски",   "Стефановски", "Костовски",   "Вељановски", "Чочковски",   "Џамбазовски",
    "Ѓорѓиевски",  "Најдовски",  "Атанасовски", "Блажевски",   "Цветковски", "Шијаковски",  "Ќосевски",
    "Коњановски",  "Живковски",  "Спасовски",   "Андоновски",  "Тошевски",   "Мицевски",    "Талевски",
    "Здравковски", "Бошковски",  "Павловски",   "Секуловски",  "Гоцевски",   "Наумовски",   "Крстевски",
    "Лазаревски",  "Митревски",  "Пејовски",    "Бојаџиевски", "Шутевски",   "Велковски",   "Јанкуловски",
    "Петров",      "Тодоров",    "Георгиев",    "Стојанов",    "Митев",      "Христов",     "Ефтимов",
    "Јанев",       "Ѓорѓиев",    "Шопов",       "Чавдаров",    "Попов",      "Манев",       "Костов",
    "Зафиров",     "Делчев",     "Арсов",       "Ацев",        "Кузманов",   "Николов",     "Колев",
    "Јакимов",
};

std::string feminineSurname(const std::string& masculine) {
    if (masculine.ends_with("ski"))
        return masculine.substr(0, masculine.size() - 1) + 'a';
    if (masculine.ends_with("ov") || masculine.ends_with("ev"))
        return masculine + 'a';
    throw std::logic_error("no feminine form known for the surname " + masculine);
}

std::vector<std::string> convertedNames(std::span<const std::string_view> names, std::size_t fieldSize) {
    std::vector<std::string> converted;
    converted.reserve(names.size());
    for (std::string_view name : names) {
        converted.push_back(macCFromUtf8(name));
        if (converted.back().size() > fieldSize)
            throw std::logic_error("the name " + converted.back() + " is longer than its field");
    }
    return converted;
}

} // namespace

const NameLists& NameLists::macedonian() {
    static const NameLists lists;
    return lists;
}

NameLists::NameLists()
    : maleFirstNames_(convertedNames(maleFirstNamesInCyrillic, firstNameSize)),
      femaleFirstNames_(convertedNames(femaleFirstNamesInCyrillic, firstNameSize)),
      fathersNames_(convertedNames(fathersNamesInCyrillic, firstNameSize)),
      maleSurnames_(convertedNames(surnamesInCyrillic, surnameSize)) {
    for (const std::string& surname : maleSurnames_) {
        femaleSurnames_.push_back(feminineSurname(surname));
        if (femaleSurnames_.back().size() > surnameSize)
            throw std::logic_error("the surname " + femaleSurnames_.back() + " is longer than its field");
    }
}

const std::vector<std::string>& NameLists::firstNames(Gender gender) const {
    return gender == Gender::Male ? maleFirstNames_ : femaleFirstNames_;
}

const std::vector<std::string>& NameLists::surnames(Gender gender) const {
    return gender == Gender::Male ? maleSurnames_ : femaleSurnames_;
}

} // namespace demodb
