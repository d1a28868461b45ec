#pragma once

#include <string>
#include <vector>

namespace demodb {

enum class Gender { Male, Female };

// Real Macedonian first names, fathers' names and surnames, already in MAC C bytes as the register stores them.
// Surnames come in the form of the person's gender ("Petrovski" and "Petrovska", "Georgiev" and "Georgieva").
// Every name fits the narrowest register field it can go into (15 characters for first and fathers' names,
// 20 for surnames).
class NameLists {
public:
    // The lists, converted once on first use.
    static const NameLists& macedonian();

    const std::vector<std::string>& firstNames(Gender gender) const;
    const std::vector<std::string>& surnames(Gender gender) const;
    const std::vector<std::string>& fathersNames() const { return fathersNames_; }

private:
    NameLists();

    std::vector<std::string> maleFirstNames_;
    std::vector<std::string> femaleFirstNames_;
    std::vector<std::string> fathersNames_;
    std::vector<std::string> maleSurnames_;
    std::vector<std::string> femaleSurnames_;
};

} // namespace demodb
