import com.kelo.rvs.Runtime;
import com.kelo.rvs.Version;

// An application's view: the library found by name in java.library.path, its version asked through
// the public API, and the JVM ending normally, which unloads the library through its detach path.
public final class LoadByName {
    public static void main(String[] args) {
        if (System.getProperty(Runtime.LIBRARY_PROPERTY) != null) {
            throw new AssertionError(Runtime.LIBRARY_PROPERTY + " must not be set here");
        }
        Runtime runtime = new Runtime();
        Version version = runtime.version();
        if (!version.equals(new Version(9, 0, 1220, 500, 2013, 10, 28))) {
            throw new AssertionError("unexpected version " + version);
        }
        runtime.setApplicationName("LoadByName");
        runtime.setNativeWorker(new com.kelo.rvs.NativeWorker());
        runtime.cleanUp();
        System.out.println("loaded KeloRvs4J32 " + version + " by name");
    }
}
