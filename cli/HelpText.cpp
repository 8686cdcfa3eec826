#include "cli/HelpText.h"

namespace tolvex::cli {

QString helpText()
{
    return QStringLiteral(R"(NAME
    tolvex-cli – Audiodateien ohne Fenster durch eine Effektkette schicken

ÜBERSICHT
    tolvex-cli export [KETTE] [--format FORMAT] [--suffix TEXT]
                      [--output-dir ORDNER] [--jobs N] [--json]
                      [--loudness LUFS [--true-peak DBTP] [--album]] PFAD …
    tolvex-cli chain show [KETTE]
    tolvex-cli plugins
    tolvex-cli presets
    tolvex-cli --help | --version

    KETTE ist --preset NAME, --chain DATEI oder --plugin URI[:SYMBOL=WERT,…]
    (wiederholbar).

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

    chain show
        Gibt eine Kette als eingerücktes JSON aus, damit Mensch und Skript
        sehen, was sie tut: eine Liste mit einem Objekt je Plugin, erstes
        zuerst, mit name, vendor, uri, bypass und controls (jedes Regler-
        Symbol mit seinem Wert). Ohne Option die aktuelle Kette. Ein Plugin,
        das sich nicht laden lässt, hat statt controls eine Meldung unter
        error; der Exit-Status ist dann 1.

    plugins
        Listet die installierten Effekt-Plugins nach Hersteller, mit URI und
        Namen.

    presets
        Listet die Namen der gespeicherten Ketten, einen pro Zeile.

OPTIONEN FÜR export UND chain show
    --preset NAME
        Die gespeicherte Kette NAME statt der aktuellen Kette.

    --chain DATEI
        Die Kette aus einer Kettendatei (JSON, wie Tolvex Ketten speichert).

    --plugin URI[:SYMBOL=WERT,…]
        Baut die Kette aus installierten Plugins statt aus einer gespeicherten
        Kette: jedes --plugin hängt ein Plugin an, in der angegebenen
        Reihenfolge. Nach dem letzten Doppelpunkt stehen, durch Kommas
        getrennt, Werte für seine Regler (Symbole wie bei „chain show“);
        ungenannte Regler behalten ihre Vorgabe. Werte sind Zahlen mit Punkt
        („-3.5“, „1e-2“); Werte außerhalb des Bereichs eines Reglers werden
        auf den Bereich begrenzt. Ein unbekanntes Plugin oder Symbol oder ein
        Wert, der keine Zahl ist, ist ein falscher Aufruf.

    Nur eine der drei Quellen: --preset, --chain und --plugin schließen
    einander aus.

WEITERE OPTIONEN FÜR export

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
        Prozessorkerne. Sind es weniger Dateien als N, verteilt eine Datei
        ihre Plugins auf die freien Plätze, eine lange Datei nutzt so mehrere
        Kerne.

    --json
        Gibt für jede fertige Datei eine Zeile JSON aus: source, output,
        status („done“, „failed“ oder „cancelled“), message, seconds und die
        Messwerte der geschriebenen Datei: loudness (LUFS), range (LU),
        truePeak (dBTP), belowTarget (LU); null, wo es keinen Wert gibt.

    --loudness LUFS
        Gleicht jede Datei nach der Kette mit einer einzigen Verstärkung auf
        diese integrierte Lautheit an (etwa -16 oder -23); „aus“ schaltet es
        ab. Vorgabe: die Einstellung des Fensters (mit ihrer Album-Wahl),
        sonst aus. Dafür läuft die Kette einmal in eine versteckte
        Zwischendatei neben der Ausgabe, die danach wieder verschwindet.

    --true-peak DBTP
        Obergrenze für den True Peak beim Angleichen, Vorgabe -1. Wo sie die
        Datei unter dem Ziel hält, sagt es die Ausgabe. Nur mit --loudness.

    --album
        Gibt allen Dateien des Laufs dieselbe Verstärkung: Ihre Lautheit,
        zusammen gemessen, trifft das Ziel, und ihre Pegelunterschiede
        bleiben genau erhalten. Die Verstärkung sinkt so weit, dass der
        lauteste True Peak aller Dateien unter der Obergrenze bleibt; jede
        Datei sagt dann, wie weit sie unter dem Ziel bleibt. Erst laufen alle
        Dateien durch die Kette, dann werden alle geschrieben; bis dahin
        liegt jede in ihrer Zwischendatei (so viel Platz wie WAV 32 Bit
        Float). Eine Datei, die dabei scheitert, zählt nicht mit. Nur mit
        --loudness.

AUSGABE
    Auf einem Terminal zeigt tolvex-cli für jede laufende Datei einen Balken
    mit Prozent und Tempo (× Echtzeit) und die geschätzte Restzeit. Sonst
    schreibt es eine Zeile pro Datei: „fertig: QUELLE → ZIEL“ oder
    „Fehler: QUELLE: GRUND“.

EXIT-STATUS
    0    alle Dateien wurden geschrieben
    1    mindestens eine Datei ließ sich nicht exportieren; bei chain show:
         ein Plugin der Kette ließ sich nicht laden
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
    tolvex-cli export --loudness -16 --album --format m4a Album/
    tolvex-cli export --output-dir fertig \
        --plugin 'http://gareus.org/oss/lv2/dpl#stereo:threshold=-3,gain=2' a.wav
    tolvex-cli chain show --preset "Sprache säubern"
    find . -name '*.wav' -print0 | xargs -0 tolvex-cli export --json
)");
}

} // namespace tolvex::cli
