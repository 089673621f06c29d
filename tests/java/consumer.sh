#!/bin/sh
# Usage: consumer.sh BUILD_DIR STAGE_DIR JDK VERSION
# A Java 8 program built against a staged installation's jar and run through the
# bridge, then the jars checked as a Java developer finds them.
set -eu
build=$1 stage=$2 version=$4
PATH=$3/bin:$PATH
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
lib=$stage/sys/lib app=$stage/consumer
mkdir -p "$app"
fail=0
expect() { [ "$2" = "$3" ] || { printf '%s: got\n%s\nwant\n%s\n' "$1" "$2" "$3"; fail=1; }; }

cat >"$app/Consumer.java" <<'JAVA'
import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

public class Consumer {
    public static void main(String[] args) throws QelException {
        try {
            ZORALlocal.ukvCall("<ping/>");
        } catch (QelException e) {
            System.out.println(e.getMessage());
        }
        ZORALlocal.ukvInit();
        System.out.println(ZORALlocal.kernelVersion() + " " + ZORALlocal.ukvCall("<ping/>"));
    }
}
JAVA
javac --release 8 -cp "$lib/vaxolocal.jar" -d "$app" "$app/Consumer.java"
printf 'QELS_EXE = %s\n' "$stage/sys/bin" >"$app/qels.conf"
unset QELS_EXE
expect session "$(__KERNEL_DEVELOPER=$app/qels.conf LD_LIBRARY_PATH=$lib \
    java -Djava.library.path="$lib" -cp "$lib/vaxolocal.jar:$app" Consumer)" \
"QelXmlApi function from ZORALukv shared library not loaded.
vaxolocal $version <pong/>"

(cd "$app" && jar xf "$lib/vaxolocal.jar" META-INF/MANIFEST.MF)
expect manifest "$(tr -d '\r' <"$app/META-INF/MANIFEST.MF" | grep -e ^Implementation- -e ^Automatic-)" \
"Implementation-Title: vaxolocal
Implementation-Version: $version
Automatic-Module-Name: com.brantexa.zoral.vaxo"
classes="com/brantexa/zoral/vaxo/QelException com/brantexa/zoral/vaxo/internal/local/ZORALlocal"
expect classes "$(jar tf "$lib/vaxolocal.jar" | grep -v ^META-INF/ | sort)" "$(printf '%s.class\n' $classes)"
expect sources "$(jar tf "$lib/vaxolocal-sources.jar" | grep -v ^META-INF/ | sort)" "$(printf '%s.java\n' $classes)"
expect "class file versions" "$(javap -v -cp "$lib/vaxolocal.jar" $classes | grep -o 'major version: .*')" \
"major version: 52
major version: 52"
exit $fail
