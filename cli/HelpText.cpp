#include "cli/HelpText.h"

namespace tolvex::cli {

QString helpText()
{
    return QStringLiteral(R"(NAME
    tolvex-cli – Audiodateien ohne Fenster durch eine Effektkette schicken

ÜBERSICHT
    tolvex-cli export [--preset NAME | --chain DATEI] [--format FORMAT]
                      [--suffix TEXT] [--output-dir ORDNER] [--jobs N] [--json]
                      PFAD …
    tolvex-cli plugins
    tolvex-cli presets
    tolvex-cli --help | --version

BESCHREIBUNG
    tolvex-cli exportiert Audiodateien durch eine Kette von LV2-Effekten, so
    wie es das Fenster von Tolvex tut: dieselbe Kette, dieselben Formate und
    dieselben Namensregeln. Eine vorhandene Datei wird nie überschrieben; ist
    der Name belegt, bekommt die neue Datei „ 2“, „ 3“, … angehängt.

    Ohne Optionen gelten die Einstellungen, die Tolvex zuletzt gespeichert
    hat: die aktuelle Kette, das Format, die Endung, der Zielordner und die
    Zahl der gleichzeitigen Exporte.

BEFEHLE
    export PFAD …
        Exportiert die angegebenen Dateien und Ordner. Ordner werden samt
        Unterordnern gelesen; versteckte Einträge werden übersprungen, Audio
        wird am Dateityp erkannt, die Reihenfolge ist die natürliche des
        Dateimanagers, doppelt genannte Dateien zählen einmal. Dateien, die
        kein lesbares Audio sind, werden gemeldet.

    plugins
        Listet die installierten Effekt-Plugins nach Hersteller, mit URI und
        Namen.

    presets
        Listet die Namen der gespeicherten Ketten, einen pro Zeile.

OPTIONEN FÜR export
    --preset NAME
        Die gespeicherte Kette NAME statt der aktuellen Kette.

    --chain DATEI
        Die Kette aus einer Kettendatei (JSON, wie Tolvex Ketten speichert).
        Nicht zusammen mit --preset.

    --format FORMAT
        wav24 (WAV 24 Bit), wav16 (WAV 16 Bit), wav32f (WAV 32 Bit Float),
        aiff24 (AIFF 24 Bit) oder m4a (AAC in M4A).

    --suffix TEXT
        Wird an den Namen jeder Ausgabedatei angehängt; leer ist erlaubt.

    --output-dir ORDNER
        Schreibt alle Ergebnisse in diesen (vorhandenen) Ordner statt neben
        die Quelldateien.

    --jobs N
        Exportiert bis zu N Dateien gleichzeitig (höchstens 64); 1 heißt eine
        nach der anderen. Vorgabe: die Einstellung „jobs“, sonst die Zahl der
        Prozessorkerne.

    --json
        Gibt für jede fertige Datei eine Zeile JSON aus: source, output,
        status („done“, „failed“ oder „cancelled“), message und seconds.

AUSGABE
    Auf einem Terminal zeigt tolvex-cli für jede laufende Datei einen Balken
    mit Prozent und Tempo (× Echtzeit) und die geschätzte Restzeit. Sonst
    schreibt es eine Zeile pro Datei: „fertig: QUELLE → ZIEL“ oder
    „Fehler: QUELLE: GRUND“.

EXIT-STATUS
    0    alle Dateien wurden geschrieben
    1    mindestens eine Datei ließ sich nicht exportieren
    2    falscher Aufruf, oder die Kette lässt sich nicht lesen oder laden
    130  abgebrochen mit Strg+C oder SIGTERM; halb geschriebene Dateien
         werden entfernt

ABSTÜRZE
    Die Dateien werden in eigenen Rechenprozessen exportiert, einem je
    gleichzeitig exportierter Datei. Stürzt ein Plugin ab oder liefert es
    60 s lang keinen Block, schlägt nur diese Datei fehl („„X“ ist beim
    Rechnen abgestürzt.“, „„X“ antwortet nicht mehr.“); die übrigen werden
    weiter exportiert.

UMGEBUNG
    LV2_PATH    Ordner, in denen nach LV2-Plugins gesucht wird.
    TOLVEX_RENDER_TIMEOUT
                Sekunden ohne fertigen Block, nach denen ein Plugin als
                hängend gilt (Vorgabe 60).
    TOLVEX_RENDER_WORKER
                Pfad des Rechenprogramms tolvex-render-worker.

BEISPIELE
    tolvex-cli export --preset "Sprache säubern" --format m4a Aufnahmen/
    tolvex-cli export --chain kette.json --output-dir fertig --jobs 4 *.wav
    find . -name '*.wav' -print0 | xargs -0 tolvex-cli export --json
)");
}

} // namespace tolvex::cli
