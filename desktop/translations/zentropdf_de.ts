<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Creator</name>
    <message>
        <source>There is not enough memory to create the PDF.</source>
        <translation>Der Speicher reicht nicht, um das PDF zu erstellen.</translation>
    </message>
    <message>
        <source>%1 was left out: %2</source>
        <translation>%1 wurde ausgelassen: %2</translation>
    </message>
    <message>
        <source>None of the pages in the list can be used.</source>
        <translation>Keine der Seiten in der Liste ist verwendbar.</translation>
    </message>
    <message>
        <source>%1 created successfully (%2 warnings)</source>
        <translation>%1 wurde erfolgreich erstellt (%2 Warnungen)</translation>
    </message>
    <message>
        <source>The PDF was not created: the creation was cancelled.</source>
        <translation>Das PDF wurde nicht erstellt: Die Erstellung wurde abgebrochen.</translation>
    </message>
</context>
<context>
    <name>PageList</name>
    <message>
        <source>%1
%2
cannot be used</source>
        <translation>%1
%2
nicht verwendbar</translation>
    </message>
    <message>
        <source>%1
%2 (%3/%4)</source>
        <translation>%1
%2 (%3/%4)</translation>
    </message>
    <message>
        <source>%1
%2</source>
        <translation>%1
%2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>PageReader</name>
    <message>
        <source>There is not enough memory to read it.</source>
        <translation>Der Speicher reicht nicht, um die Datei zu lesen.</translation>
    </message>
</context>
<context>
    <name>PageSetup</name>
    <message>
        <source>Page Setup</source>
        <translation>Seite einrichten</translation>
    </message>
    <message>
        <source>As the image</source>
        <translation>Wie das Bild</translation>
    </message>
    <message>
        <source>Page &amp;size:</source>
        <translation>Seiten&amp;größe:</translation>
    </message>
    <message>
        <source>Fit inside the page</source>
        <translation>In die Seite einpassen</translation>
    </message>
    <message>
        <source>Fill the page, cut at the edges</source>
        <translation>Seite füllen, an den Rändern beschneiden</translation>
    </message>
    <message>
        <source>Stretch to the page</source>
        <translation>Auf die Seite strecken</translation>
    </message>
    <message>
        <source>Shrink to fit, never enlarge</source>
        <translation>Verkleinern, nie vergrößern</translation>
    </message>
    <message>
        <source>Enlarge to fit, never shrink</source>
        <translation>Vergrößern, nie verkleinern</translation>
    </message>
    <message>
        <source>&amp;Fit:</source>
        <translation>&amp;Einpassen:</translation>
    </message>
    <message>
        <source> mm</source>
        <translation> mm</translation>
    </message>
    <message>
        <source>&amp;Margin:</source>
        <translation>&amp;Rand:</translation>
    </message>
    <message>
        <source>&amp;Title:</source>
        <translation>&amp;Titel:</translation>
    </message>
    <message>
        <source>&amp;Author:</source>
        <translation>&amp;Autor:</translation>
    </message>
    <message>
        <source>Recognise te&amp;xt (OCR)</source>
        <translation>Te&amp;xt erkennen (OCR)</translation>
    </message>
    <message>
        <source>Tesseract&apos;s languages, several joined by +, as eng+deu</source>
        <translation>Sprachen von Tesseract, mehrere mit + verbunden, etwa eng+deu</translation>
    </message>
    <message>
        <source>Turn pages &amp;upright by their text</source>
        <translation>Seiten nach ihrem Text a&amp;ufrichten</translation>
    </message>
    <message>
        <source>&amp;PDF/A for archives</source>
        <translation>&amp;PDF/A für Archive</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>Der Ordner %1 existiert nicht.</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
</context>
<context>
    <name>TMain</name>
    <message>
        <source>All supported image types (*.jpg *.jpeg *.jpe *.tif *.tiff *.png *.bmp *.pbm *.pgm *.ppm *.pnm *.jp2 *.j2k *.webp *.gif *.heic *.heif *.avif *.jxl)</source>
        <translation>Alle unterstützten Bildtypen (*.jpg *.jpeg *.jpe *.tif *.tiff *.png *.bmp *.pbm *.pgm *.ppm *.pnm *.jp2 *.j2k *.webp *.gif *.heic *.heif *.avif *.jxl)</translation>
    </message>
    <message>
        <source>JPEG Image (*.jpg *.jpeg *.jpe)</source>
        <translation>JPEG-Bild (*.jpg *.jpeg *.jpe)</translation>
    </message>
    <message>
        <source>TIFF Image (*.tif *.tiff)</source>
        <translation>TIFF-Bild (*.tif *.tiff)</translation>
    </message>
    <message>
        <source>PNG Image (*.png)</source>
        <translation>PNG-Bild (*.png)</translation>
    </message>
    <message>
        <source>Windows Bitmap (*.bmp)</source>
        <translation>Windows-Bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Zentro PDF - Version 1.0</source>
        <translation>Zentro PDF - Version 1.0</translation>
    </message>
    <message>
        <source>Reading pages...</source>
        <translation>Seiten werden gelesen …</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>&amp;Öffnen …</translation>
    </message>
    <message>
        <source>&amp;Clear Selection</source>
        <translation>Auswahl &amp;leeren</translation>
    </message>
    <message>
        <source>Page &amp;Setup...</source>
        <translation>Seite &amp;einrichten …</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Wiederholen</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Images</source>
        <translation>B&amp;ilder</translation>
    </message>
    <message>
        <source>Create &amp;PDF</source>
        <translation>&amp;PDF erstellen</translation>
    </message>
    <message>
        <source>Rotate &amp;Left</source>
        <translation>Nach &amp;links drehen</translation>
    </message>
    <message>
        <source>Rotate &amp;Right</source>
        <translation>Nach &amp;rechts drehen</translation>
    </message>
    <message>
        <source>Rotate &amp;Half a Turn</source>
        <translation>&amp;Halb umdrehen</translation>
    </message>
    <message>
        <source>Move &amp;Up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;Down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>Move to &amp;Top</source>
        <translation>An den &amp;Anfang</translation>
    </message>
    <message>
        <source>Move to &amp;Bottom</source>
        <translation>An das &amp;Ende</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber …</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Werkzeuge</translation>
    </message>
    <message>
        <source>Open Images</source>
        <translation>Bilder öffnen</translation>
    </message>
    <message>
        <source>Clear Selection</source>
        <translation>Auswahl leeren</translation>
    </message>
    <message>
        <source>Create PDF</source>
        <translation>PDF erstellen</translation>
    </message>
    <message>
        <source>Rotate Left</source>
        <translation>Nach links drehen</translation>
    </message>
    <message>
        <source>Rotate Right</source>
        <translation>Nach rechts drehen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>The pages in the list have not been made into a PDF. Quit anyway?</source>
        <translation>Aus den Seiten in der Liste wurde noch kein PDF erstellt. Trotzdem beenden?</translation>
    </message>
    <message>
        <source>Add image files</source>
        <translation>Bilddateien hinzufügen</translation>
    </message>
    <message>
        <source>Clear current file selection?</source>
        <translation>Die aktuelle Dateiauswahl leeren?</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Rotate Half a Turn</source>
        <translation>Halb umdrehen</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Verschieben</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Pages: %1</source>
        <translation>Seiten: %1</translation>
    </message>
    <message>
        <source>Pages: %1, of which %2 cannot be used</source>
        <translation>Seiten: %1, davon %2 nicht verwendbar</translation>
    </message>
    <message>
        <source>You must add images before creating a PDF</source>
        <translation>Fügen Sie Bilder hinzu, bevor Sie ein PDF erstellen</translation>
    </message>
    <message>
        <source>Some files are still being read. Please try again when their pages are listed.</source>
        <translation>Einige Dateien werden noch gelesen. Bitte versuchen Sie es erneut, wenn ihre Seiten aufgelistet sind.</translation>
    </message>
    <message>
        <source>Save PDF As</source>
        <translation>PDF speichern unter</translation>
    </message>
    <message>
        <source>PDF Document (*.pdf)</source>
        <translation>PDF-Dokument (*.pdf)</translation>
    </message>
    <message>
        <source>Creating the PDF...</source>
        <translation>Das PDF wird erstellt …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <source>Open PDF</source>
        <translation>PDF öffnen</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner zeigen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Unable to open image %1: %2</source>
        <translation>Das Bild %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Cannot read the folder %1: %2</source>
        <translation>Der Ordner %1 kann nicht gelesen werden: %2</translation>
    </message>
</context>
<context>
    <name>Taboutfrm</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
</context>
<context>
    <name>Twarningsfrm</name>
    <message>
        <source>Errors / Warnings</source>
        <translation>Fehler / Warnungen</translation>
    </message>
    <message>
        <source>      E&amp;xit     </source>
        <translation>      &amp;Beenden     </translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Turns scanned images into one PDF.</source>
        <translation>Macht aus gescannten Bildern ein PDF.</translation>
    </message>
    <message>
        <source>Image files to list.</source>
        <translation>Bilddateien für die Liste.</translation>
    </message>
</context>
</TS>
