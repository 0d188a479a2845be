#include "qsotext.h"

#include <random>
#include <vector>

namespace {

class Writer {
public:
    explicit Writer(uint32_t seed) : m_random(seed) {}

    std::string Pick(const std::vector<std::string>& options)
    {
        return options[std::uniform_int_distribution<size_t>(0, options.size() - 1)(m_random)];
    }
    int Number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    std::string Call()
    {
        static const std::vector<std::string> prefixes = {"G", "M0", "DL", "F", "K", "W", "N", "VE", "PA",
                                                          "OH", "SM", "EA", "I", "JA", "VK", "ZL", "OK", "SP"};
        std::string call = Pick(prefixes) + std::to_string(Number(1, 9));
        for (int i = Number(2, 3); i > 0; --i)
            call += char('A' + Number(0, 25));
        return call;
    }

private:
    std::mt19937 m_random;
};

} // namespace

std::string qsoText(size_t minimumLength, uint32_t seed)
{
    Writer w(seed);
    const std::vector<std::string> names = {"John", "Pete", "Anna", "Klaus", "Marie", "Bob", "Hiro", "Sven",
                                            "Olga", "Luis", "Tom", "Jean-Paul"};
    const std::vector<std::string> towns = {"Leeds", "Hamburg", "Lyon", "Ohio", "Toronto", "Utrecht", "Turku",
                                            "Madrid", "Osaka", "Perth", "Brno", "Gdansk"};
    const std::vector<std::string> rigs = {"an old FT-817 at 5 W", "a homebrew rig, 20 watts",
                                           "IC-7300 and a dipole at 10 m", "a K3 into an end-fed wire",
                                           "TS-590 with 30w to a vertical"};
    const std::vector<std::string> weather = {"Wx here is cloudy, 12 C.", "WX: sunny & warm (24C)!",
                                              "Rain again... 8 deg C", "snow, -3C; cold hi hi",
                                              "windy, 15c & dry"};
    std::string text;
    while (text.size() < minimumLength) {
        const std::string me = w.Call(), you = w.Call();
        text += "CQ CQ CQ de " + me + " " + me + " pse K\n";
        text += you + " de " + me + " GM dear OM, tnx for the call.\n";
        text += "Ur RST is " + std::to_string(w.Number(4, 5)) + std::to_string(w.Number(5, 9)) + "9 "
            + w.Pick({"- solid copy", "with QSB", "(some QRM)", "fb sigs"}) + ".\n";
        text += "Name here is " + w.Pick(names) + ", QTH " + w.Pick(towns) + "; loc JO"
            + std::to_string(w.Number(10, 99)) + ".\n";
        text += "Rig is " + w.Pick(rigs) + ". " + w.Pick(weather) + "\n";
        text += "How copy? BTU " + you + " de " + me + " kn\n";
        text += you + " de " + me + " R R, all ok. " + w.Pick({"73 & gl!", "Tnx QSO, 73.", "cuagn, 73 es 88",
                                                              "QSL via bureau? 73"})
            + " " + you + " de " + me + " SK\n";
    }
    return text;
}
