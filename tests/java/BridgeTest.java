import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Stream;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The bridge in a real JVM. The bridge's state lives as long as the process, so ctest starts
 * each test in a JVM of its own. The kernel double reads QELS_EXE and its version from files
 * in the test's scratch directory and logs each QueryRCS call there.
 */
class BridgeTest {
    static final String NO_API = "QelXmlApi function from ZORALukv shared library not loaded.";
    static final String NO_RELEASE =
            "QelXmlRelease function from ZORALukv shared library not loaded.";

    static final Path DIR = Paths.get(System.getProperty("test.dir"));
    static final Path HOME = Paths.get(System.getProperty("test.home"));
    static final Path SCRATCH = Paths.get(System.getenv("QELS_DOUBLE_DIR"));
    static final String FIXED = HOME.resolve("sys/lib/libzoralukv.so").toString();

    static native void throwVia(String cls, String message, boolean pending) throws Exception;

    @BeforeEach
    void resetScratch() throws IOException {
        if (Files.exists(SCRATCH)) {
            try (Stream<Path> walk = Files.walk(SCRATCH)) {
                for (Path p : (Iterable<Path>) walk.sorted(Comparator.reverseOrder())::iterator) {
                    Files.delete(p);
                }
            }
        }
        Files.createDirectories(SCRATCH);
    }

    // --- the kernel double --------------------------------------------------------------------

    static void write(String name, String value) throws IOException {
        Files.write(SCRATCH.resolve(name), value.getBytes(StandardCharsets.UTF_8));
    }

    static void setQelsExe(Object value) throws IOException {
        write("QELS_EXE", value.toString());
    }

    static int queryCount() throws IOException {
        Path calls = SCRATCH.resolve("calls");
        List<String> lines = Files.exists(calls) ? Files.readAllLines(calls) : List.of();
        lines.forEach(line -> assertEquals("QELS_EXE 7", line, "QueryRCS call"));
        return lines.size();
    }

    static String whoami() throws QelException {
        return ZORALlocal.ukvCall("<whoami/>");
    }

    /** Runs body on that many threads at once; returns how many of them threw. */
    static int fromThreads(int count, Executable body) throws InterruptedException {
        CyclicBarrier start = new CyclicBarrier(count);
        AtomicInteger failed = new AtomicInteger();
        List<Thread> threads = new ArrayList<>();
        for (int n = 0; n < count; n++) {
            threads.add(new Thread(() -> {
                try {
                    start.await();
                    body.execute();
                } catch (Throwable t) {
                    failed.incrementAndGet();
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads) {
            thread.join();
        }
        return failed.get();
    }

    static void assertStartsWith(String prefix, String text) {
        assertTrue(text.startsWith(prefix), () -> "<" + text + "> does not start with " + prefix);
    }

    // --- tests, one JVM each ------------------------------------------------------------------

    /**
     * QELS_EXE unset: the bare ukv.so wins over zoralukv.so; threads racing to the first init
     * load it once, and a second init asks nothing.
     */
    @Test
    void bareNamesFirst() throws Exception {
        write("delay", "50");
        assertEquals(0, fromThreads(8, () -> {
            ZORALlocal.ukvInit();
            whoami();
        }), "threads whose first ukvInit failed");
        assertEquals(DIR.resolve("bare-both/ukv.so").toString(), whoami());
        assertEquals(1, queryCount(), "QueryRCS calls after the first ukvInit");
        ZORALlocal.ukvInit();
        assertEquals(1, queryCount(), "QueryRCS calls after a second ukvInit");
        assertEquals("", ZORALlocal.ukvCall("<null/>"), "answer left NULL");
    }

    /** QELS_EXE empty: the bare zoralukv.so is the second name tried. */
    @Test
    void bareNamesSecond() throws Exception {
        setQelsExe("");
        ZORALlocal.ukvInit();
        assertEquals(DIR.resolve("bare-second/zoralukv.so").toString(), whoami());
    }

    /** Neither bare name found: the installation's fixed path is the last resort. */
    @Test
    void fixedPath() throws Exception {
        ZORALlocal.ukvInit();
        assertEquals(FIXED, whoami());
    }

    /** Failures leave the bridge uninitialised, so each later ukvInit starts over. */
    @Test
    void directoryOrder() throws Exception {
        setQelsExe(Files.createDirectories(SCRATCH.resolve("empty")));
        assertStartsWith(FIXED + ": ", assertThrows(QelException.class, ZORALlocal::ukvInit)
                .getMessage());
        assertEquals(1, queryCount());

        setQelsExe("x".repeat(800)); // too long for the prefix: treated as absent
        assertStartsWith(FIXED + ": ", assertThrows(QelException.class, ZORALlocal::ukvInit)
                .getMessage());
        assertEquals(2, queryCount());

        // The exception names the first symbol that is missing.
        String[][] missing = {{"dir-neither", "QelXmlApi"}, {"dir-noapi", "QelXmlApi"},
                {"dir-norelease", "QelXmlRelease"}};
        for (String[] m : missing) {
            setQelsExe(DIR.resolve(m[0]));
            String text = assertThrows(QelException.class, ZORALlocal::ukvInit).getMessage();
            assertTrue(text.endsWith("undefined symbol: " + m[1]), m[0] + ": " + text);
        }
        assertEquals(NO_RELEASE, assertThrows(QelException.class,
                () -> ZORALlocal.ukvCall("<ping/>")).getMessage(), "QelXmlRelease unresolved");

        setQelsExe(DIR.resolve("dir-second") + "/");
        ZORALlocal.ukvInit();
        assertEquals(6, queryCount(), "each failure retried from the start");
        assertEquals(DIR.resolve("dir-second") + "//zoralukv.so", whoami(), "slash doubled");
    }

    /**
     * In a QELS_EXE directory ukv.so is tried before zoralukv.so, also where the directory's
     * name makes the path longer than 255 characters.
     */
    @Test
    void directoryFirst() throws Exception {
        Path dir = SCRATCH.resolve("d".repeat(200)).resolve("e".repeat(99));
        Files.createDirectories(dir);
        for (String name : new String[] {"ukv.so", "zoralukv.so"}) {
            Files.createSymbolicLink(dir.resolve(name), DIR.resolve("dir-both").resolve(name));
        }
        setQelsExe(dir);
        ZORALlocal.ukvInit();
        assertEquals(dir.resolve("ukv.so").toString(), whoami());
    }

    @Test
    void callBeforeInit() {
        assertEquals(NO_API, assertThrows(QelException.class,
                () -> ZORALlocal.ukvCall("<ping/>")).getMessage());
        assertThrows(NullPointerException.class, () -> ZORALlocal.ukvCall(null));
    }

    @Test
    void kernelVersion() throws Exception {
        assertEquals("", ZORALlocal.kernelVersion(), "kernel fails without writing");
        String full = "v".repeat(300);
        String[][] cases = {// status, length and text the kernel gives; the version expected
                {"1 5 abcdefgh", "abcde"}, {"3 7 vaxo 1.0.0", "vaxo 1."}, {"0 0 ", ""},
                {"2 1 abc", "abc"}, {"1 300 " + full, full.substring(0, 255)},
                {"1 -4 abc", ""}, {"0 255 " + full, full.substring(0, 255)}};
        for (String[] c : cases) {
            write("version", c[0]);
            assertEquals(c[1], ZORALlocal.kernelVersion(), c[0]);
        }
    }

    @Test
    void throwJavaException() {
        System.loadLibrary("bridgeprobe");
        Object[][] cases = {// class name, message, pending before; class and message raised
                {null, "no class", false, Exception.class, "no class"},
                {"", "empty class", false, Exception.class, "empty class"},
                {"com/brantexa/zoral/vaxo/QelException", "q", false, QelException.class, "q"},
                {"java/lang/IllegalArgumentException", "after", true,
                        IllegalArgumentException.class, "after"},
                {"no/such/Class", "lost", false, NoClassDefFoundError.class, "no/such/Class"}};
        for (Object[] c : cases) {
            Throwable t = assertThrows(Throwable.class,
                    () -> throwVia((String) c[0], (String) c[1], (Boolean) c[2]));
            assertEquals(c[3], t.getClass(), String.valueOf(c[0]));
            assertEquals(c[4], t.getMessage(), String.valueOf(c[0]));
        }
        Throwable t = assertThrows(NoClassDefFoundError.class,
                () -> throwVia("no/such/" + "C".repeat(400), "lost", false));
        assertTrue(t.getMessage().length() <= 255, "class name cut to 255");
    }

    @Test
    void roundTrip() throws Exception {
        setQelsExe(DIR.resolve("dir-real"));
        ZORALlocal.ukvInit();
        String[][] cases = {{"<ping/>", "<pong/>"},
                {"<status/>", "<error code=\"3\">unknown request</error>"},
                {"hello", "<error code=\"2\">malformed request</error>"},
                {"", "<error code=\"1\">empty request</error>"}};
        for (String[] c : cases) {
            assertEquals(c[1], ZORALlocal.ukvCall(c[0]), c[0]);
        }
        assertStartsWith("<version>vaxolocal ", ZORALlocal.ukvCall("<version/>"));

        String unicode = "<echo>Grüße – 日本語 – \uD83D\uDE00 – a\u0000b</echo>";
        assertEquals(unicode, ZORALlocal.ukvCall(unicode), "non-ASCII and NUL round trip");
        write("SMILE", "smile \uD83D\uDE00 ok");
        assertEquals("<config name=\"SMILE\">smile \uD83D\uDE00 ok</config>",
                ZORALlocal.ukvCall("<config name=\"SMILE\"/>"), "4-byte UTF-8 in an answer");
        String large = "<echo>" + "é0123456789".repeat(1 << 17) + "</echo>";
        assertEquals(large, ZORALlocal.ukvCall(large), "1 MB round trip");
        assertThrows(NullPointerException.class, () -> ZORALlocal.ukvCall(null));

        assertEquals(0, fromThreads(8, () -> {
            String id = Thread.currentThread().getName();
            for (int i = 0; i < 5000; i++) {
                String request = "<echo>" + id + " call " + i + "</echo>";
                assertEquals(request, ZORALlocal.ukvCall(request));
            }
        }), "threads whose answers crossed");
    }
}
