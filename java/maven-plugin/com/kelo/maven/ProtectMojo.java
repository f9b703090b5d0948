package com.kelo.maven;

import com.kelo.pack.JarProtector;
import com.kelo.pack.PackException;
import com.kelo.pack.WrapOptions;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

/**
 * Protects the project's archive (a jar or a war) with the packer: its classes become protected
 * classes that load through the KeloRvs4J32 runtime.
 */
@Mojo(name = "protect", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true)
public final class ProtectMojo extends AbstractMojo {
    /** How protected classes are stored: {@code embedded} (skeletons) or {@code container}. */
    @Parameter(property = "kelo.form", defaultValue = "embedded")
    private String form;

    /** Class name patterns to protect ({@code com.example.**}); all classes when empty. */
    @Parameter
    private List<String> includes = new ArrayList<>();

    /** Class name patterns to leave unprotected. */
    @Parameter
    private List<String> excludes = new ArrayList<>();

    /** Whether jars inside the archive (a war's WEB-INF/lib) are protected too. */
    @Parameter(property = "kelo.nested", defaultValue = "true")
    private boolean nested;

    /** Puts the runtime into the jar, so that plain {@code java -jar} runs it. */
    @Parameter(property = "kelo.withRuntime", defaultValue = "false")
    private boolean withRuntime;

    /** Lowest Java version the protected classes run on, such as 1.8.0. */
    @Parameter(property = "kelo.javaMin")
    private String javaMin;

    /** Highest Java version the protected classes run on. */
    @Parameter(property = "kelo.javaMax")
    private String javaMax;

    /** Leaves the archive as it is. */
    @Parameter(property = "kelo.skip", defaultValue = "false")
    private boolean skip;

    /**
     * Empty: the protected archive replaces the project's archive. Otherwise the project's archive
     * stays as it is and the protected one is attached with this classifier.
     */
    @Parameter(property = "kelo.classifier")
    private String classifier;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Parameter(defaultValue = "${plugin.artifacts}", readonly = true, required = true)
    private List<Artifact> pluginArtifacts;

    @Component
    private MavenProjectHelper projectHelper;

    @Override
    public void execute() throws MojoExecutionException {
        if (skip) {
            getLog().info("Skipping: kelo.skip is set");
            return;
        }
        if (project.getPackaging().equals("pom")) {
            return; // a parent that passes the plugin on to its modules
        }
        File input = project.getArtifact().getFile();
        if (input == null || !input.isFile()) {
            throw new MojoExecutionException("No archive of " + project.getArtifactId()
                    + " to protect: run this goal in the package phase of a jar or war project");
        }
        boolean attached = classifier != null && !classifier.isEmpty();
        String name = input.getName();
        int dot = name.contains(".") ? name.lastIndexOf('.') : name.length();
        // Protected in place through a file of its own, as the packer writes a new file.
        File output = attached
                ? new File(input.getParentFile(),
                        name.substring(0, dot) + "-" + classifier + name.substring(dot))
                : new File(new File(project.getBuild().getDirectory(), "kelo"), name);
        try {
            // An archive the packaging plugin found up to date, protected last time, comes back
            // the same: the packer leaves classes protected before as they are.
            Files.createDirectories(output.getParentFile().toPath());
            protect(input, output);
            if (attached) {
                projectHelper.attachArtifact(project, project.getArtifact().getType(), classifier,
                        output);
            } else {
                Files.move(output.toPath(), input.toPath(), StandardCopyOption.REPLACE_EXISTING);
                getLog().info("Replaced " + input + " by the protected archive");
            }
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot protect " + input + ": " + e, e);
        }
    }

    private void protect(File input, File output) throws MojoExecutionException, IOException {
        JarProtector protector = new JarProtector();
        try {
            protector.form = JarProtector.Form.valueOf(form.toUpperCase(Locale.ROOT));
        } catch (IllegalArgumentException e) {
            throw new MojoExecutionException("form must be container or embedded, not " + form);
        }
        protector.nested = nested;
        protector.wrapOptions.minJava = javaVersion("javaMin", javaMin);
        protector.wrapOptions.maxJava = javaVersion("javaMax", javaMax);
        includes.forEach(protector::include);
        excludes.forEach(protector::exclude);
        if (withRuntime) {
            protector.runtimeJar = runtimeJar();
        }
        ByteArrayOutputStream messages = new ByteArrayOutputStream();
        JarProtector.Result r;
        try (PrintStream out = new PrintStream(messages, true, "UTF-8")) {
            r = protector.protect(input, output, out);
        } catch (PackException e) {
            throw new MojoExecutionException(e.getMessage(), e);
        } finally {
            for (String line : messages.toString("UTF-8").split("\\R")) {
                if (line.contains("warning:")) {
                    getLog().warn(line);
                } else if (!line.isEmpty()) {
                    getLog().info(line);
                }
            }
        }
        for (String line : r.summary()) {
            getLog().info(line);
        }
    }

    private static int[] javaVersion(String parameter, String text) throws MojoExecutionException {
        try {
            return text == null ? null : WrapOptions.javaVersion(text);
        } catch (PackException e) {
            throw new MojoExecutionException(parameter + " " + e.getMessage(), e);
        }
    }

    /** The runtime jar this plugin was resolved with, so that it matches the packer. */
    private File runtimeJar() throws MojoExecutionException {
        for (Artifact a : pluginArtifacts) {
            if (a.getGroupId().equals("com.kelo") && a.getArtifactId().equals("kelo-rvs")) {
                return a.getFile();
            }
        }
        throw new MojoExecutionException("withRuntime: com.kelo:kelo-rvs is not among the"
                + " plugin's dependencies");
    }
}
