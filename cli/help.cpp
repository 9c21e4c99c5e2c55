// Help and parse errors in tzctl's words, not CLI11's.
#include "help.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "words.h"

namespace tzctl {
namespace {

// Option lines and command lines share the column the other helps use.
class TzctlFormat : public CLI::Formatter {
  public:
    TzctlFormat()
    {
        label("SUBCOMMAND", "COMMAND");
        label("Positionals", "Arguments");
    }

    // What the README shows: the command, its usage, then each group once,
    // one blank line between them.
    std::string make_help(const CLI::App *app, std::string name, CLI::AppFormatMode) const override
    {
        std::string text = make_description(app) + make_usage(app, name) + make_positionals(app);
        for (const std::string &group : app->get_groups()) {
            const std::vector<const CLI::Option *> options =
                app->get_options([&](const CLI::Option *o) {
                    return o->get_group() == group && o->nonpositional();
                });
            if (!group.empty() && !options.empty())
                text += make_group(group, false, options);
        }
        return text + make_subcommands(app, CLI::AppFormatMode::Normal) + "\n" + make_footer(app);
    }

    // A positional is its own name; a flag takes nothing.
    std::string make_option_opts(const CLI::Option *option) const override
    {
        if (option->get_positional() || option->get_expected_max() == 0)
            return "";
        return " " + ValueName(*option);
    }

    // What an option cannot be given with is said in words.
    std::string make_option_desc(const CLI::Option *option) const override
    {
        std::string others;
        for (const CLI::Option *other : option->get_excludes())
            others += (others.empty() ? "" : " or ") + other->get_name();
        return option->get_description() + (others.empty() ? "" : "; not with " + others);
    }
};

// The choices a member check allows, from its type name "TEXT:{a,b}".
std::vector<std::string> Choices(const CLI::Option &option)
{
    const std::string type = option.get_type_name();
    const std::size_t open = type.find(":{");
    std::vector<std::string> choices;
    if (open == std::string::npos || type.back() != '}')
        return choices;
    std::string word;
    for (char c : type.substr(open + 2, type.size() - open - 3) + ",") {
        if (c != ',') {
            word += c;
        } else {
            choices.push_back(word);
            word.clear();
        }
    }
    return choices;
}

// Each command the line chose, from tzctl down, and its path: "cfg get".
std::vector<const CLI::App *> Chosen(const CLI::App &app, std::string &path)
{
    std::vector<const CLI::App *> levels{&app};
    for (;;) {
        const std::vector<CLI::App *> next = levels.back()->get_subcommands();
        if (next.empty())
            return levels;
        path += (path.empty() ? "" : " ") + next.front()->get_name();
        levels.push_back(next.front());
    }
}

std::string SeeHelp(const std::string &path)
{
    return "see 'tzctl " + path + (path.empty() ? "" : " ") + "--help'";
}

// The first option on the chosen levels for which `test` holds.
const CLI::Option *FirstOption(const std::vector<const CLI::App *> &levels,
                               const std::function<bool(const CLI::Option &)> &test)
{
    for (const CLI::App *level : levels)
        for (const CLI::Option *option : level->get_options())
            if (test(*option))
                return option;
    return nullptr;
}

}  // namespace

std::shared_ptr<CLI::FormatterBase> HelpFormat()
{
    return std::make_shared<TzctlFormat>();
}

std::string ValueName(const CLI::Option &option)
{
    const std::vector<std::string> choices = Choices(option);
    if (!choices.empty()) {
        std::string all;
        for (const std::string &choice : choices)
            all += (all.empty() ? "" : "|") + choice;
        return all;
    }
    return option.get_type_name();
}

std::string ParseMistake(const CLI::App &app, const CLI::ParseError &error)
{
    std::string path;
    const std::vector<const CLI::App *> levels = Chosen(app, path);
    const std::string where = path.empty() ? "" : path + ": ";
    if (dynamic_cast<const CLI::ExtrasError *>(&error)) {
        std::vector<std::string> extras;
        for (const CLI::App *level : levels)
            if (extras.empty())
                extras = level->remaining();
        if (!extras.empty() && extras.front().size() > 1 && extras.front()[0] == '-')
            return where + extras.front() + " is not an option; " + SeeHelp(path);
        if (!extras.empty())
            return "'" + extras.front() + "' is more than " + (path.empty() ? "tzctl" : path) +
                   " takes; " + SeeHelp(path);
    }
    if (dynamic_cast<const CLI::RequiredError *>(&error)) {
        if (const CLI::Option *missing = FirstOption(
                levels, [](const CLI::Option &o) { return o.get_required() && o.count() == 0; }))
            return (path.empty() ? "tzctl" : path) + " needs " + missing->get_name();
    }
    if (dynamic_cast<const CLI::ExcludesError *>(&error)) {
        const CLI::Option *other = nullptr;
        if (const CLI::Option *given = FirstOption(levels, [&](const CLI::Option &o) {
                for (const CLI::Option *x : o.get_excludes())
                    if (o.count() > 0 && x->count() > 0)
                        other = x;
                return other != nullptr;
            }))
            return given->get_name() + " and " + other->get_name() + " do not go together";
    }
    if (dynamic_cast<const CLI::ValidationError *>(&error)) {
        std::string wrong;
        if (const CLI::Option *checked = FirstOption(levels, [&](const CLI::Option &o) {
                const std::vector<std::string> choices = Choices(o);
                for (const std::string &value : o.results())
                    if (!choices.empty() && wrong.empty() &&
                        std::find(choices.begin(), choices.end(), value) == choices.end())
                        wrong = value;
                return !wrong.empty();
            })) {
            std::vector<std::string> choices = Choices(*checked);
            const std::string last = choices.back();
            choices.pop_back();
            return checked->get_name() + " must be " + Join(choices) + " or " + last + ", not '" +
                   wrong + "'";
        }
    }
    const std::string said = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch *>(&error)) {
        if (const CLI::Option *short_ = FirstOption(levels, [&](const CLI::Option &o) {
                return said.compare(0, o.get_name().size() + 1, o.get_name() + ":") == 0;
            }))
            return short_->get_name() + " needs a value: " + short_->get_name() + " " +
                   ValueName(*short_) + "; " + SeeHelp(path);
    }
    if (dynamic_cast<const CLI::ConversionError *>(&error)) {
        if (const CLI::Option *flag = FirstOption(levels, [&](const CLI::Option &o) {
                return o.get_expected_max() == 0 && said.find(o.get_name()) != std::string::npos;
            }))
            return flag->get_name() + " takes no value; " + SeeHelp(path);
    }
    // Any other kind: CLI11's reason, in our form.
    std::string reason = said.empty() ? "the command line cannot be read" : said;
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return where + reason + "; " + SeeHelp(path);
}

}  // namespace tzctl
