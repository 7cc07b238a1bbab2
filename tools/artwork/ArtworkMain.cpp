// kestrune-artwork: draws every picture of the utility and writes one PNG per
// picture into the given folder (normally src/resources), optionally with a
// contact sheet for review; or, with --icons, the application icon at every
// size of the desktop icon theme (normally into packaging/icons).
//   kestrune-artwork <output folder> [--contact-sheet <file.png>] [--only <name>]
//   kestrune-artwork <output folder> --icons <icon name>

#include "ArtworkCatalogue.h"
#include "ArtworkFonts.h"
#include "ContactSheet.h"
#include "IconArtist.h"

#include <juce_events/juce_events.h>
#include <iostream>

namespace
{
    bool writePng (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream stream (file);

        if (! stream.openedOk())
            return false;

        juce::PNGImageFormat png;
        return png.writeImageToStream (image, stream) && stream.getStatus().wasOk();
    }

    int usage()
    {
        std::cerr << "usage: kestrune-artwork <output folder> [--contact-sheet <file.png>] [--only <name>]\n"
                     "       kestrune-artwork <output folder> --icons <icon name>\n";
        return 2;
    }

    int fail (const juce::String& message)
    {
        std::cerr << "kestrune-artwork: " << message << "\n";
        return 1;
    }

    // <folder>/hicolor/NxN/apps/<name>.png for every size the theme lists
    // between 16 and 256 pixels.
    int renderIcons (const juce::File& outputFolder, const juce::String& iconName)
    {
        for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        {
            const auto folder = outputFolder.getChildFile ("hicolor/" + juce::String (size) + "x" + juce::String (size) + "/apps");
            const auto file = folder.getChildFile (iconName + ".png");

            if (! folder.createDirectory() || ! writePng (IconArtist::applicationIcon (size), file))
                return fail ("cannot write " + file.getFullPathName());

            std::cout << file.getFullPathName() << " " << file.getSize() << " bytes\n";
        }

        return 0;
    }

    int renderAll (const juce::File& outputFolder, const juce::File& contactSheetFile, const juce::String& only)
    {
        if (! outputFolder.createDirectory())
            return fail ("cannot create " + outputFolder.getFullPathName());

        ArtworkCatalogue catalogue;
        ContactSheet sheet;
        juce::int64 totalBytes = 0;
        int written = 0;

        for (auto& entry : catalogue.entries())
        {
            if (only.isNotEmpty() && entry.name != only)
                continue;

            const auto image = entry.render();

            if (image.getWidth() != entry.width || image.getHeight() != entry.height || ! image.hasAlphaChannel())
                return fail (entry.name + " was drawn at the wrong size");

            const auto file = outputFolder.getChildFile (entry.name + ".png");

            if (! writePng (image, file))
                return fail ("cannot write " + file.getFullPathName());

            totalBytes += file.getSize();
            ++written;
            std::cout << entry.name << " " << entry.width << "x" << entry.height << " " << file.getSize() << " bytes\n";
            sheet.add (entry.name, image);
        }

        if (written == 0)
            return fail ("no picture named " + only);

        std::cout << written << " pictures, " << totalBytes << " bytes\n";

        if (contactSheetFile != juce::File() && ! writePng (sheet.render(), contactSheetFile))
            return fail ("cannot write " + contactSheetFile.getFullPathName());

        return 0;
    }
}

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (args.isEmpty() || args[0].startsWith ("--"))
        return usage();

    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const juce::File outputFolder = cwd.getChildFile (args[0]);
    juce::File contactSheetFile;
    juce::String only, iconName;

    for (int i = 1; i < args.size(); ++i)
    {
        if (args[i] == "--contact-sheet" && i + 1 < args.size())
            contactSheetFile = cwd.getChildFile (args[++i]);
        else if (args[i] == "--only" && i + 1 < args.size())
            only = args[++i];
        else if (args[i] == "--icons" && i + 1 < args.size())
            iconName = args[++i];
        else
            return usage();
    }

    if (iconName.isNotEmpty())
        return (contactSheetFile == juce::File() && only.isEmpty()) ? renderIcons (outputFolder, iconName) : usage();

    juce::String problem;
    int result = ArtworkFonts::loadAll (problem) ? renderAll (outputFolder, contactSheetFile, only)
                                                 : fail (problem);
    // Typefaces go before JUCE shuts down, or its leak detector complains.
    ArtworkFonts::releaseAll();
    return result;
}
